#include "worker/update_thread.h"

#include "payload/work_folder.h"
#include "payload/work_paths.h"
#include "res/resource.h"
#include "ui/update_dlg.h"
#include "ui/update_messages.h"
#include "worker/flash_command_line.h"
#include "worker/pause.h"
#include "worker/version_decision.h"

#include <string_view>

namespace {

constexpr DWORD kStartPauseMs = 1000;
constexpr DWORD kStepPauseMs = 2000;
constexpr DWORD kCannotUpdatePauseMs = 3000;
constexpr DWORD kVersionVerdictPauseMs = 5000;
constexpr DWORD kBeforeFlashPauseMs = 1000;

std::string_view View(const CString& text) {
    return std::string_view(text.GetString(), static_cast<std::size_t>(text.GetLength()));
}

CString UpperCased(CString text) {
    text.MakeUpper();
    return text;
}

} // namespace

IMPLEMENT_DYNCREATE(CHWDriverDownloadThread, CWinThread)

BEGIN_MESSAGE_MAP(CHWDriverDownloadThread, CWinThread)
END_MESSAGE_MAP()

CHWDriverDownloadThread::CHWDriverDownloadThread() : m_pOwner(nullptr) {}

CHWDriverDownloadThread::CHWDriverDownloadThread(CUpdateDlg* pOwner) : m_pOwner(pOwner) {}

CHWDriverDownloadThread::~CHWDriverDownloadThread() = default;

BOOL CHWDriverDownloadThread::InitInstance() {
    PauseWorker(kStartPauseMs);
    DoUpdate();
    // No message loop: the framework ends the thread and deletes the object.
    return FALSE;
}

int CHWDriverDownloadThread::ExitInstance() {
    return CWinThread::ExitInstance();
}

void CHWDriverDownloadThread::ProcessWndProcException(const CException& e, const MSG* msg) {
    CWinThread::ProcessWndProcException(e, msg);
    // Nothing else would take the topmost window down.
    if (m_pOwner != nullptr) {
        ::PostMessageA(m_pOwner->m_hWnd, WM_UPDATE_FINISH, 0, 0);
    }
}

int CHWDriverDownloadThread::DoUpdate() {
    if (m_pOwner == nullptr) {
        return 0;
    }
    // A work folder that is not the program's own, or too long for the path buffers, holds no
    // image the program could have written.
    char path[MAX_PATH];
    char pattern[MAX_PATH];
    if (payload::GetOwnWorkFolder(path) &&
        payload::BuildFilePath(path, payload::kBiosImage.name, pattern)) {
        FindImageFile(pattern);
    } else {
        m_strFoundFile.Empty();
    }
    if (m_strFoundFile.IsEmpty()) {
        FinishWithoutFlash(IDS_CANNOT_UPDATE, kCannotUpdatePauseMs);
        return 0;
    }

    PauseWorker(kStepPauseMs);
    ShowStatus(IDS_LOADING);
    PauseWorker(kStepPauseMs);
    const CString foundName = UpperCased(m_strFoundFile);
    ShowStatus(IDS_VERIFYING);
    PauseWorker(kStepPauseMs);

    const CString bios = UpperCased(m_pOwner->m_strBiosVersion);
    const std::string_view biosPrefix = worker::PlatformPrefix(View(bios));
    m_strBiosPrefix = CString(biosPrefix.data(), static_cast<int>(biosPrefix.size()));
    const CString imageName = UpperCased(m_pOwner->m_strImageFile);
    switch (worker::DecideUpdate(View(foundName), View(imageName), View(bios))) {
    case worker::VersionDecision::CannotUpdate:
        FinishWithoutFlash(IDS_CANNOT_UPDATE, kCannotUpdatePauseMs);
        break;
    case worker::VersionDecision::ImageOlder:
        FinishWithoutFlash(IDS_IMAGE_OLDER, kVersionVerdictPauseMs);
        break;
    case worker::VersionDecision::SameVersion:
        FinishWithoutFlash(IDS_SAME_VERSION, kVersionVerdictPauseMs);
        break;
    case worker::VersionDecision::Flash:
        Flash(path, imageName);
        break;
    }
    return 0;
}

void CHWDriverDownloadThread::FinishWithoutFlash(UINT statusId, DWORD pauseMilliseconds) {
    WriteVersionStamp();
    ShowStatus(statusId);
    PauseWorker(pauseMilliseconds);
    // The exit timer first: the window's finishing step may end it, but never before it is armed.
    ::SetTimer(m_pOwner->m_hWnd, IDT_EXIT, IDT_EXIT_INTERVAL_MS, nullptr);
    ::PostMessageA(m_pOwner->m_hWnd, WM_UPDATE_FINISH, 0, 0);
}

void CHWDriverDownloadThread::Flash(const char* workFolder, const CString& imageName) {
    ShowStatus(IDS_CHECKING);
    PauseWorker(kStepPauseMs);
    PauseWorker(kStepPauseMs);
    ShowStatus(IDS_UPDATING);
    PauseWorker(kBeforeFlashPauseMs);
    // A line too long for its buffer is never started.
    char commandLine[worker::kFlashCommandLineSize];
    const bool started =
        worker::FormatFlashCommandLine(workFolder, imageName, commandLine, sizeof commandLine) &&
        RunFlashUtility(commandLine, workFolder) != FALSE;
    if (!started) {
        // Nothing was flashed: the run says so and ends as the other runs that do not flash.
        FinishWithoutFlash(IDS_CANNOT_UPDATE, kCannotUpdatePauseMs);
        return;
    }
    WriteVersionStamp();
    ::PostMessageA(m_pOwner->m_hWnd, WM_UPDATE_FINISH, 0, 0);
}

BOOL CHWDriverDownloadThread::FindImageFile(CString pattern) {
    m_strFoundFile.Empty();
    CFileFind finder;
    BOOL more = finder.FindFile(pattern);
    while (more) {
        more = finder.FindNextFile();
        // A directory of the image's name is no image: handing its name to the flash utility
        // would report an update that cannot happen.
        if (finder.IsDots() || finder.IsDirectory()) {
            continue;
        }
        const CString name = finder.GetFileName();
        if (!name.IsEmpty()) {
            m_strFoundFile = name;
            return TRUE;
        }
    }
    return FALSE;
}

void CHWDriverDownloadThread::ShowStatus(UINT id) {
    m_strStatusText.LoadString(id);
    m_pOwner->SetStatus(m_strStatusText);
    ::InvalidateRect(m_pOwner->m_hWnd, nullptr, FALSE);
}
