#include "window_run.h"

#include "disk_helpers.h"
#include "worker/pause.h"

#include <shlobj.h>

#include <algorithm>
#include <thread>

namespace uitest {

namespace {

// Generous bounds: they only keep a broken run from hanging the test program.
constexpr DWORD kWaitMs = 30000;
constexpr DWORD kPollMs = 20;

constexpr UINT kCallMessage = WM_APP + 1;
constexpr UINT kDrainMessage = WM_APP + 2;
const char kCallerClass[] = "BIOSUpdateTestCaller";
// The static control that holds a message box's text.
constexpr int kMessageBoxTextId = 0xFFFF;
// The static control that holds a message box's icon, on Windows and under Wine.
constexpr int kMessageBoxIconIds[] = {0x14, 0x440};
constexpr int kMessageBoxButtonIds[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO};

// The run whose hooks are installed; there is one at a time.
WindowRun* g_run = nullptr;

KernelHandle NewEvent() {
    return KernelHandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

bool WaitFor(const KernelHandle& event, DWORD milliseconds = kWaitMs) {
    return ::WaitForSingleObject(event.Get(), milliseconds) == WAIT_OBJECT_0;
}

std::string WindowText(HWND hwnd) {
    char text[1024] = {};
    ::GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

std::string ClassName(HWND hwnd) {
    char name[64] = {};
    ::GetClassNameA(hwnd, name, sizeof name);
    return name;
}

struct BoxSearch {
    std::string caption;
    HWND exclude;
    HWND found;
};

BOOL CALLBACK MatchBox(HWND hwnd, LPARAM parameter) {
    auto* search = reinterpret_cast<BoxSearch*>(parameter);
    if (hwnd != search->exclude && ::IsWindowVisible(hwnd) && ClassName(hwnd) == "#32770" &&
        WindowText(hwnd) == search->caption) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

MessageBoxSeen Describe(HWND box) {
    MessageBoxSeen seen;
    seen.box = box;
    seen.owner = ::GetWindow(box, GW_OWNER);
    char text[2048] = {};
    ::GetDlgItemTextA(box, kMessageBoxTextId, text, sizeof text);
    seen.text = text;
    for (const int id : kMessageBoxIconIds) {
        const HWND icon = ::GetDlgItem(box, id);
        if (icon != nullptr && ::IsWindowVisible(icon)) {
            seen.icon = reinterpret_cast<HICON>(::SendMessageA(icon, STM_GETICON, 0, 0));
        }
    }
    for (const int id : kMessageBoxButtonIds) {
        const HWND button = ::GetDlgItem(box, id);
        if (button != nullptr && ::IsWindowVisible(button)) {
            seen.buttons.push_back(id);
            if ((::GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                seen.defaultButton = id;
            }
        }
    }
    return seen;
}

} // namespace

std::string ExpectedWorkFolder() {
    char programFiles[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles);
    return std::string(programFiles) + "\\BIOSUPDATE";
}

HeldFile::HeldFile(const std::string& path)
    : m_file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

WindowRun::WindowRun(CUpdateDlg& dialog)
    : m_dialog(dialog), m_windowThreadId(::GetCurrentThreadId()),
      m_workFolder(ExpectedWorkFolder()), m_workerHeld(NewEvent()), m_workerGate(NewEvent()),
      m_windowPaused(NewEvent()), m_windowGate(NewEvent()), m_ended(NewEvent()) {
    WNDCLASSA callerClass{};
    callerClass.lpfnWndProc = &WindowRun::CallerWindowProc;
    callerClass.hInstance = ::GetModuleHandleA(nullptr);
    callerClass.lpszClassName = kCallerClass;
    ::RegisterClassA(&callerClass); // fails harmlessly when an earlier run registered it
    m_caller = ::CreateWindowExA(0, kCallerClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 callerClass.hInstance, nullptr);
    g_run = this;
    m_hooks[0] =
        ::SetWindowsHookExA(WH_GETMESSAGE, &WindowRun::GetMessageHook, nullptr, m_windowThreadId);
    m_hooks[1] =
        ::SetWindowsHookExA(WH_CALLWNDPROC, &WindowRun::CallWindowHook, nullptr, m_windowThreadId);
    m_hooks[2] = ::SetWindowsHookExA(WH_CALLWNDPROCRET, &WindowRun::CallWindowReturnHook, nullptr,
                                     m_windowThreadId);
}

WindowRun::~WindowRun() {
    for (const HHOOK hook : m_hooks) {
        if (hook != nullptr) {
            ::UnhookWindowsHookEx(hook);
        }
    }
    g_run = nullptr;
    ::DestroyWindow(m_caller);
}

INT_PTR WindowRun::Run(const Script& script) {
    if (m_caller == nullptr ||
        std::find(std::begin(m_hooks), std::end(m_hooks), nullptr) != std::end(m_hooks)) {
        NoteFailure("the test's window hooks could not be installed");
        return -1;
    }
    std::thread user([this, &script] {
        script(*this);
        if (!WaitForEnd()) {
            NoteFailure("the window did not end; the test ended its modal loop");
            ReleaseWindowPause();
            ::PostThreadMessageA(m_windowThreadId, WM_QUIT, 0, 0);
        }
    });
    const INT_PTR result = m_dialog.DoModal();
    ::SetEvent(m_ended.Get());
    ReleaseWorker();
    ReleaseWindowPause();
    user.join();
    EndWorkerThreads();
    return result;
}

MessageBoxSeen WindowRun::WaitForBox(const std::string& caption) {
    for (DWORD waited = 0; waited < kWaitMs; waited += kPollMs) {
        BoxSearch search{caption, Window(), nullptr};
        ::EnumThreadWindows(m_windowThreadId, &MatchBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            return Describe(search.found);
        }
        ::Sleep(kPollMs);
    }
    NoteFailure("no message box \"" + caption + "\" appeared");
    return {};
}

void WindowRun::Press(const MessageBoxSeen& box, int buttonId) {
    if (box.box != nullptr) {
        ::SendMessageA(::GetDlgItem(box.box, buttonId), BM_CLICK, 0, 0);
    }
}

bool WindowRun::ConfirmAndWaitForWorker() {
    const MessageBoxSeen question = WaitForBox("BIOS update");
    if (question.box == nullptr) {
        return false;
    }
    Press(question, IDYES);
    return WaitForWorker();
}

bool WindowRun::WaitForWorker() {
    if (WaitFor(m_workerHeld)) {
        return true;
    }
    NoteFailure("the worker was not started");
    return false;
}

void WindowRun::HoldWindowPause() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_holdWindowPause = true;
}

bool WindowRun::WaitForWindowPause() {
    if (WaitFor(m_windowPaused)) {
        return true;
    }
    NoteFailure("the window did not reach its pause");
    return false;
}

void WindowRun::ReleaseWindowPause() {
    ::SetEvent(m_windowGate.Get());
}

void WindowRun::ReleaseWorker() {
    ::SetEvent(m_workerGate.Get());
}

void WindowRun::OnWindowThread(const std::function<void()>& call) {
    ::SendMessageA(m_caller, kCallMessage, 0, reinterpret_cast<LPARAM>(&call));
}

void WindowRun::DrainWindowQueue() {
    const KernelHandle drained = NewEvent();
    ::PostMessageA(m_caller, kDrainMessage, 0, reinterpret_cast<LPARAM>(drained.Get()));
    if (!WaitFor(drained)) {
        NoteFailure("the window's thread stopped handling its messages");
    }
}

bool WindowRun::WaitForEnd() {
    return WaitFor(m_ended);
}

bool WindowRun::Ended() const {
    return WaitFor(m_ended, 0);
}

void WindowRun::NoteFailure(const std::string& failure) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_failures.push_back(failure);
}

HWND WindowRun::Window() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_window;
}

std::vector<std::string> WindowRun::Failures() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_failures;
}

std::vector<DWORD> WindowRun::WindowPauses() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_windowPauses;
}

bool WindowRun::WorkerStarted() const {
    return WorkerThreadsSeen() > 0;
}

int WindowRun::WorkerThreadsSeen() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_workerThreadIds.size());
}

std::vector<TimerTick> WindowRun::Ticks() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_ticks;
}

std::vector<UINT> WindowRun::CommandsSent() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

bool WindowRun::EverCoveredScreen() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_everCoveredScreen;
}

bool WindowRun::EverTopmost() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_everTopmost;
}

void WindowRun::OnPause(DWORD milliseconds) {
    const DWORD thread = ::GetCurrentThreadId();
    if (thread == m_windowThreadId) {
        bool hold = false;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_windowPauses.push_back(milliseconds);
            hold = m_holdWindowPause;
        }
        if (hold) {
            ::SetEvent(m_windowPaused.Get());
            WaitFor(m_windowGate);
        }
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (std::find(m_workerThreadIds.begin(), m_workerThreadIds.end(), thread) ==
            m_workerThreadIds.end()) {
            m_workerThreadIds.push_back(thread);
            m_workerThreads.emplace_back(::OpenThread(SYNCHRONIZE, FALSE, thread));
        }
    }
    ::SetEvent(m_workerHeld.Get());
    WaitFor(m_workerGate);
}

void WindowRun::EndWorkerThreads() {
    // The worker reads the window object: it must be gone before the object is.
    std::vector<HANDLE> threads;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (const KernelHandle& thread : m_workerThreads) {
            threads.push_back(thread.Get());
        }
    }
    for (const HANDLE thread : threads) {
        if (thread == nullptr || ::WaitForSingleObject(thread, kWaitMs) != WAIT_OBJECT_0) {
            NoteFailure("a worker thread did not end");
        }
    }
}

void WindowRun::RecordTick(const MSG& message) {
    TimerTick tick;
    tick.id = message.wParam;
    tick.progressBefore = m_dialog.m_nProgress;
    tick.imageFile = m_dialog.m_strImageFile;
    tick.imageOnDisk = disk::Exists(WorkFile("mirtsf13.imc"));
    tick.workerCreated = m_dialog.m_pUpdateThread != nullptr;
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_ticks.push_back(tick);
}

void WindowRun::RecordWindowState() {
    const HWND window = Window();
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const bool topmost = (::GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    const bool coversScreen = rect.left == 0 && rect.top == 0 &&
                              rect.right == ::GetSystemMetrics(SM_CXSCREEN) &&
                              rect.bottom == ::GetSystemMetrics(SM_CYSCREEN);
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_everTopmost = m_everTopmost || topmost;
    m_everCoveredScreen = m_everCoveredScreen || (topmost && coversScreen);
}

void WindowRun::RecordCommand(WPARAM wParam) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_commands.push_back(LOWORD(wParam));
}

LRESULT CALLBACK WindowRun::GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && g_run != nullptr &&
        message->message == WM_TIMER && message->hwnd != nullptr &&
        message->hwnd == g_run->Window()) {
        g_run->RecordTick(*message);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK WindowRun::CallWindowHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && g_run != nullptr) {
        if (call->message == WM_INITDIALOG &&
            CWnd::FromHandlePermanent(call->hwnd) == &g_run->m_dialog) {
            const std::lock_guard<std::mutex> lock(g_run->m_mutex);
            g_run->m_window = call->hwnd;
        } else if (call->message == WM_COMMAND && call->hwnd == g_run->Window()) {
            g_run->RecordCommand(call->wParam);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK WindowRun::CallWindowReturnHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && g_run != nullptr && call->message == WM_WINDOWPOSCHANGED &&
        call->hwnd == g_run->Window()) {
        g_run->RecordWindowState();
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK WindowRun::CallerWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    switch (message) {
    case kCallMessage:
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    case kDrainMessage:
        ::SetEvent(reinterpret_cast<HANDLE>(lParam));
        return 0;
    default:
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

} // namespace uitest

// The program's pauses, the window's and the worker's, held at the current run's gates instead
// of slept. Without a run they return at once.
void PauseWorker(DWORD milliseconds) {
    if (uitest::g_run != nullptr) {
        uitest::g_run->OnPause(milliseconds);
    }
}
