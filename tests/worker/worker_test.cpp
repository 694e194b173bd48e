// What the end-to-end runs cannot see of the update worker: when it writes the version stamp,
// relative to its status texts and to the flash utility's start, that a work folder too long for
// the flash's command line starts nothing, and that a stamp that cannot be written ends no run.
#include "afx.h"
#include "import_patch.h"
#include "payload/work_folder.h"
#include "test_support.h"
#include "ui/update_dlg.h"
#include "worker/pause.h"
#include "worker/update_thread.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>

// The worker's pauses, not slept: a run takes milliseconds.
void PauseWorker(DWORD) {}

namespace {

constexpr char kStampKey[] = ".DEFAULT\\Software\\Tamrel\\BIOSUPDATE\\Parameters";

// One letter per step of the worker: t for a status text shown, u for the flash utility's start;
// upper case when the stamp was already written at that moment.
std::string g_steps;

void Step(char letter) {
    const bool stamped = support::ReadStamp().type == REG_SZ;
    g_steps += stamped ? static_cast<char>(std::toupper(letter)) : letter;
}

BOOL WINAPI ShowText(HWND, const RECT*, BOOL) {
    Step('t');
    return TRUE;
}

decltype(&::CreateProcessA) g_createProcess = nullptr;

BOOL WINAPI StartUtility(const char* application, char* commandLine, SECURITY_ATTRIBUTES* process,
                         SECURITY_ATTRIBUTES* thread, BOOL inherit, DWORD flags, void* environment,
                         const char* folder, STARTUPINFOA* startup, PROCESS_INFORMATION* started) {
    Step('u');
    return g_createProcess(application, commandLine, process, thread, inherit, flags, environment,
                           folder, startup, started);
}

LONG WINAPI DenyOpening(HKEY, const char*, DWORD, REGSAM, HKEY*) {
    return ERROR_ACCESS_DENIED;
}

LONG WINAPI DenyCreating(HKEY, const char*, HKEY*) {
    return ERROR_ACCESS_DENIED;
}

struct RunCase {
    const char* name;
    const char* biosVersion;
    bool image;                   // the image is in the work folder
    std::size_t workFolderLength; // 0: the prefix's own
    const char* steps;
    bool exitTimer;
    bool keyDenied = false; // the stamp's key can be neither opened nor created
};

class WorkerRun : public testing::TestWithParam<RunCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_text.Applied() && m_start.Applied());
        g_createProcess = m_start.Original();
        g_steps.clear();
        support::DeleteStampKeys();
        // A stamp of another type, which the run must replace.
        RegistryKey key;
        ASSERT_EQ(::RegCreateKeyA(HKEY_USERS, kStampKey, key.Receive()), ERROR_SUCCESS);
        const DWORD number = 1508;
        ASSERT_EQ(::RegSetValueExA(key.Get(), "Version", 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&number), sizeof number),
                  ERROR_SUCCESS);
        dialog.m_hWnd = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          nullptr, nullptr);
        dialog.m_strImageFile = "mirtsf13.imc";
    }
    void TearDown() override {
        ::DestroyWindow(dialog.m_hWnd);
        support::RemoveTree(support::WorkFolder());
        support::DeleteStampKeys();
    }

    ImportPatch<decltype(::InvalidateRect)> m_text{"user32.dll", "InvalidateRect", &ShowText};
    ImportPatch<decltype(::CreateProcessA)> m_start{"kernel32.dll", "CreateProcessA",
                                                    &StartUtility};
    CUpdateDlg dialog;
};

TEST_P(WorkerRun, StampsBeforeTheLastTextOrAfterTheUtility) {
    const RunCase& run = GetParam();
    const support::ScratchFolder scratch;
    std::optional<support::MovedProgramFiles> programFiles;
    if (run.workFolderLength != 0) {
        const std::string parent = scratch.Path() + "\\";
        // The work folder adds "\BIOSUPDATE", 11 characters.
        programFiles.emplace(parent + std::string(run.workFolderLength - parent.size() - 11, 'p'));
        ASSERT_TRUE(programFiles->Applied());
        ASSERT_EQ(support::WorkFolder().size(), run.workFolderLength);
    }
    const std::string workFolder = support::WorkFolder();
    // The package's own payload, which this program carries like the shipped one.
    payload::ExtractUtilityFiles();
    if (run.image) {
        dialog.ExtractBiosImage();
    }
    dialog.m_strBiosVersion = run.biosVersion;
    std::optional<ImportPatch<decltype(::RegOpenKeyExA)>> denyOpening;
    std::optional<ImportPatch<decltype(::RegCreateKeyA)>> denyCreating;
    if (run.keyDenied) {
        denyOpening.emplace("advapi32.dll", "RegOpenKeyExA", &DenyOpening);
        denyCreating.emplace("advapi32.dll", "RegCreateKeyA", &DenyCreating);
        ASSERT_TRUE(denyOpening->Applied() && denyCreating->Applied());
    }

    CHWDriverDownloadThread(&dialog).DoUpdate();

    EXPECT_EQ(g_steps, run.steps);
    // The utility really ran there: its backup is in the work folder.
    EXPECT_EQ(support::Exists(workFolder + "\\BIOS.bak"), g_steps.find('u') != std::string::npos);
    // A denied key leaves the other type's value in place.
    EXPECT_EQ(support::ReadStamp().type, static_cast<DWORD>(run.keyDenied ? REG_DWORD : REG_SZ));
    MSG finish;
    EXPECT_TRUE(
        ::PeekMessageA(&finish, dialog.m_hWnd, WM_UPDATE_FINISH, WM_UPDATE_FINISH, PM_REMOVE));
    EXPECT_EQ(::KillTimer(dialog.m_hWnd, IDT_EXIT) != FALSE, run.exitTimer);
}

const RunCase kRuns[] = {
    {"NoImage", "MIRTSF12", false, 0, "T", true},
    {"OtherPlatform", "ABCDEF12", true, 0, "ttT", true},
    {"ImageOlder", "MIRTSF14", true, 0, "ttT", true},
    {"SameVersion", "MIRTSF13", true, 0, "ttT", true},
    {"StampKeyDenied", "MIRTSF13", true, 0, "ttt", true, true},
    // The longest work folder whose command line fits, and one character more: nothing is
    // started, and the run ends as those that do not flash, saying it cannot update.
    {"Flash189", "MIRTSF12", true, 189, "ttttu", false},
    {"Refused190", "MIRTSF12", true, 190, "ttttT", true},
};

INSTANTIATE_TEST_SUITE_P(Runs, WorkerRun, testing::ValuesIn(kRuns),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
