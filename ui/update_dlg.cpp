// The status window's life: the confirmation, the payload, the timers that start and animate the
// run, and the answers that keep it from being closed, suspended or logged off.
#include "ui/update_dlg.h"

#include "payload/work_folder.h"
#include "res/resource.h"
#include "ui/progress_geometry.h"
#include "worker/pause.h"
#include "worker/update_thread.h"

#include <exception>
#include <memory>
#include <utility>

namespace {

const char kConfirmCaption[] = "BIOS update";
// The pause before the first status text; shares the worker's pause so tests replace both.
constexpr DWORD kInitialPauseMs = 2000;
constexpr COLORREF kBackgroundColor = RGB(0, 0, 0);

// Notes in `abandoned` that the scope it guards was left by an exception rather than by its end.
// An exception that a nested handler raised and the framework reported does not count.
class AbandonWatch {
public:
    explicit AbandonWatch(bool& abandoned)
        : m_abandoned(abandoned), m_exceptions(std::uncaught_exceptions()) {}
    ~AbandonWatch() {
        if (std::uncaught_exceptions() > m_exceptions) {
            m_abandoned = true;
        }
    }
    AbandonWatch(const AbandonWatch&) = delete;
    AbandonWatch& operator=(const AbandonWatch&) = delete;

private:
    bool& m_abandoned;
    const int m_exceptions;
};

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK TakeFirstVisibleWindow(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId || !::IsWindowVisible(window)) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}

// The first visible top-level window of `processId` in the z-order, from the top; null when it
// shows none.
HWND FindVisibleWindowOf(DWORD processId) {
    WindowSearch search{processId, nullptr};
    ::EnumWindows(TakeFirstVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

BEGIN_MESSAGE_MAP(CUpdateDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_LBUTTONDOWN()
ON_WM_TIMER()
ON_WM_CTLCOLOR()
ON_WM_ENDSESSION()
ON_WM_QUERYENDSESSION()
END_MESSAGE_MAP()

CUpdateDlg::CUpdateDlg(CWnd* pParent)
    : CDialog(IDD_UPDATE_DIALOG, pParent), m_nProgress(0), m_pUpdateThread(nullptr),
      m_hIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

// Nothing uses the WMI connection or its last value after the start, so they go with the window;
// but the worker uses the window until its last step, so the window waits for it first, however
// the modal loop ended.
CUpdateDlg::~CUpdateDlg() {
    if (m_workerThread) {
        ::WaitForSingleObject(m_workerThread.Get(), INFINITE);
    }
}

BOOL CUpdateDlg::PreTranslateMessage(MSG* pMsg) {
    // Keys never reach the dialog manager, so Enter and Escape can neither end nor navigate it.
    if (pMsg->message == WM_KEYDOWN) {
        return FALSE;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

LRESULT CUpdateDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_UPDATE_FINISH:
        payload::FinishUpdateRun();
        m_bRunEnding = true;
        ::PostQuitMessage(0);
        break;
    case WM_UPDATE_QUIT:
        m_bRunEnding = true;
        ::PostQuitMessage(0);
        break;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMQUERYSUSPEND || wParam == PBT_APMSUSPEND) {
            return BROADCAST_QUERY_DENY;
        }
        break;
    case WM_CLOSE: {
        // The window stays and the run goes on; only the payload goes, unless the flash utility
        // runs and may still need it: the run's own end cleans up after the utility.
        const CCriticalSectionLock lock(m_utilityLock);
        if (!m_bUtilityRunning) {
            CleanUpWorkFolder();
        }
        return 0;
    }
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

BOOL CUpdateDlg::OnInitDialog() {
    const AbandonWatch watch(m_bStepAbandoned);
    CDialog::OnInitDialog();

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    // A tool window has no taskbar button.
    ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW, 0);

    m_strText.LoadString(IDS_APP_TITLE);
    SetWindowText(m_strText);

    m_strText.LoadString(IDS_CONFIRM);
    if (MessageBox(m_strText, kConfirmCaption, MB_YESNO) == IDNO) {
        CleanUpAndQuit();
        return FALSE;
    }

    ExtractUtilityFiles();
    CoverScreen();
    CenterWindow();

    m_strText.LoadString(IDS_INITIALIZING);
    PauseWorker(kInitialPauseMs);
    SetStatus(m_strText);
    InvalidateRect(nullptr, FALSE);

    SetTimer(IDT_START, IDT_START_INTERVAL_MS, nullptr);
    return TRUE;
}

void CUpdateDlg::SetStatus(const CString& text) {
    const CCriticalSectionLock lock(m_statusLock);
    m_strStatus = text;
}

CString CUpdateDlg::GetStatus() const {
    const CCriticalSectionLock lock(m_statusLock);
    return m_strStatus;
}

void CUpdateDlg::SetUtilityRunning(bool running) {
    const CCriticalSectionLock lock(m_utilityLock);
    m_bUtilityRunning = running;
    m_dwUtilityProcessId = 0;
}

void CUpdateDlg::SetUtilityProcess(DWORD processId) {
    const CCriticalSectionLock lock(m_utilityLock);
    m_dwUtilityProcessId = m_bUtilityRunning ? processId : 0;
}

void CUpdateDlg::AbandonRun() {
    // Any other handler's exception leaves the run alone. Once the worker runs it ends the run
    // itself, perhaps only after the flash: quitting under it would pull the payload and the
    // window away from a flash in progress.
    if (!std::exchange(m_bStepAbandoned, false) || m_pUpdateThread != nullptr ||
        m_hWnd == nullptr) {
        return;
    }
    CleanUpAndQuit();
}

int CUpdateDlg::StartUpdate() {
    const AbandonWatch watch(m_bStepAbandoned);
    // COM pumps this thread's messages during the query, so the run may have ended meanwhile.
    ReadBiosVersion();
    if (m_bRunEnding) {
        return 0;
    }
    ExtractBiosImage();

    auto worker = std::make_unique<CHWDriverDownloadThread>(this);
    // Started suspended, so that the window holds a handle of its own to the thread before the
    // thread can run and, when it ends, delete the worker with the framework's handle.
    if (!worker->CreateThread(CREATE_SUSPENDED, 0, nullptr) ||
        !::DuplicateHandle(::GetCurrentProcess(), worker->m_hThread.Get(), ::GetCurrentProcess(),
                           m_workerThread.Receive(), SYNCHRONIZE, FALSE, 0) ||
        worker->ResumeThread() == static_cast<DWORD>(-1)) {
        // It never ran, so it is still ours to delete.
        if (worker->m_hThread) {
            ::TerminateThread(worker->m_hThread.Get(), static_cast<DWORD>(-1));
        }
        m_workerThread.Reset();
        CleanUpAndQuit();
        return 0;
    }
    // From now on the thread deletes the object when it ends.
    m_pUpdateThread = worker.release();
    return 0;
}

int CUpdateDlg::CleanUpWorkFolder() {
    payload::CleanUpWorkFolder();
    return 0;
}

int CUpdateDlg::ExtractUtilityFiles() {
    payload::ExtractUtilityFiles();
    return 0;
}

void CUpdateDlg::ExtractBiosImage() {
    payload::ExtractBiosImage(m_strImageFile);
}

int CUpdateDlg::WriteResourceFile(UINT id, const char* path) {
    return payload::WriteResourceFile(id, path);
}

HCURSOR CUpdateDlg::OnQueryDragIcon() {
    return m_hIcon;
}

void CUpdateDlg::OnLButtonDown(UINT /*nFlags*/, CPoint /*point*/) {
    Default();
}

void CUpdateDlg::OnTimer(UINT_PTR nIDEvent) {
    switch (nIDEvent) {
    case IDT_EXIT:
        CleanUpWorkFolder();
        KillTimer(IDT_EXIT);
        PostMessage(WM_UPDATE_QUIT);
        break;
    case IDT_START:
        // One run per window, even if someone posts the start timer's message again.
        if (!m_bUpdateStarted) {
            m_bUpdateStarted = true;
            SetTimer(IDT_ANIMATE, IDT_ANIMATE_INTERVAL_MS, nullptr);
            KillTimer(IDT_START);
            StartUpdate();
        }
        break;
    case IDT_ANIMATE:
        m_nProgress = m_nProgress < ui::kLastProgressStep ? m_nProgress + 1 : 0;
        if (!GiveWayToUtilityWindow()) {
            CoverScreen();
        }
        InvalidateRect(nullptr, FALSE);
        break;
    default:
        break;
    }
    Default();
}

HBRUSH CUpdateDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    pDC->SetBkColor(kBackgroundColor);
    if (!m_backgroundBrush) {
        m_backgroundBrush.Reset(::CreateSolidBrush(kBackgroundColor));
    }
    return static_cast<HBRUSH>(m_backgroundBrush.Get());
}

void CUpdateDlg::OnEndSession(BOOL /*bEnding*/) {
    Default();
}

BOOL CUpdateDlg::OnQueryEndSession() {
    // Log-off, restart and shut-down are refused for as long as the window exists.
    Default();
    return FALSE;
}

SIZE CUpdateDlg::ScreenSize() {
    return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

void CUpdateDlg::CoverScreen() {
    const SIZE screen = ScreenSize();
    SetWindowPos(&wndTopMost, 0, 0, screen.cx, screen.cy, SWP_SHOWWINDOW);
}

bool CUpdateDlg::GiveWayToUtilityWindow() {
    DWORD processId = 0;
    {
        const CCriticalSectionLock lock(m_utilityLock);
        processId = m_dwUtilityProcessId;
    }
    const HWND utilityWindow = processId != 0 ? FindVisibleWindowOf(processId) : nullptr;
    if (utilityWindow == nullptr) {
        return false;
    }
    // Still covering the screen, but neither raised above the utility's window nor taking the
    // keyboard from it.
    const SIZE screen = ScreenSize();
    SetWindowPos(nullptr, 0, 0, screen.cx, screen.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ::SetWindowPos(utilityWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (::GetForegroundWindow() != utilityWindow) {
        ::SetForegroundWindow(utilityWindow);
    }
    return true;
}

void CUpdateDlg::CleanUpAndQuit() {
    CleanUpWorkFolder();
    m_bRunEnding = true;
    PostMessage(WM_UPDATE_QUIT);
}
