#include "window_run.h"

#include "test_support.h"
#include "worker/pause.h"

#include <thread>

namespace {

// Generous: it only keeps a broken run from hanging the test program.
constexpr DWORD kWaitMs = 30000;
constexpr UINT kCallMessage = WM_APP + 1;

// The run whose gate the program's pauses use; one at a time.
WindowRun* g_run = nullptr;

KernelHandle NewEvent() {
    return KernelHandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

LRESULT CALLBACK CallerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCallMessage) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

} // namespace

WindowRun::WindowRun(CUpdateDlg& dialog)
    : m_dialog(dialog), m_windowThreadId(::GetCurrentThreadId()), m_workerHeld(NewEvent()),
      m_workerGate(NewEvent()), m_ended(NewEvent()) {
    WNDCLASSA callerClass{};
    callerClass.lpfnWndProc = &CallerProc;
    callerClass.lpszClassName = "BIOSUpdateTestCaller";
    ::RegisterClassA(&callerClass); // fails harmlessly once registered
    m_caller = ::CreateWindowExA(0, callerClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, nullptr, nullptr);
    g_run = this;
}

WindowRun::~WindowRun() {
    // The workers use the window object: they must be gone before it is.
    ReleaseWorker();
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (const KernelHandle& worker : m_workers) {
        ::WaitForSingleObject(worker.Get(), INFINITE);
    }
    g_run = nullptr;
    ::DestroyWindow(m_caller);
}

INT_PTR WindowRun::Run(const std::function<void(WindowRun&)>& script) {
    std::thread user([&] {
        script(*this);
        if (::WaitForSingleObject(m_ended.Get(), kWaitMs) != WAIT_OBJECT_0) {
            Abort(1);
        }
    });
    const INT_PTR result = m_dialog.DoModal();
    ::SetEvent(m_ended.Get());
    user.join();
    return result;
}

HWND WindowRun::ConfirmAndWaitForWorker() {
    const support::MessageBoxSeen question = support::WaitForMessageBox("BIOS update");
    support::Press(question, IDYES);
    return WaitForWorker() ? question.owner : nullptr;
}

bool WindowRun::WaitForWorker() {
    const HANDLE events[] = {m_workerHeld.Get(), m_ended.Get()};
    const DWORD waited = ::WaitForMultipleObjects(2, events, FALSE, kWaitMs);
    if (waited == WAIT_TIMEOUT) {
        Abort(2);
    }
    return waited == WAIT_OBJECT_0;
}

void WindowRun::OnWindowThread(const std::function<void()>& call) {
    const KernelHandle done = NewEvent();
    const std::function<void()> callAndSignal = [&] {
        call();
        ::SetEvent(done.Get());
    };
    ::PostMessageA(m_caller, kCallMessage, 0, reinterpret_cast<LPARAM>(&callAndSignal));
    // Once the run has ended the call never comes: the caller window's going takes it along.
    const HANDLE events[] = {done.Get(), m_ended.Get()};
    ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
}

void WindowRun::OnPause() {
    thread_local bool seen = false;
    if (::GetCurrentThreadId() == m_windowThreadId) {
        return;
    }
    if (!seen) {
        seen = true;
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_workers.emplace_back(::OpenThread(SYNCHRONIZE, FALSE, ::GetCurrentThreadId()));
    }
    ::SetEvent(m_workerHeld.Get());
    ::WaitForSingleObject(m_workerGate.Get(), kWaitMs);
    if (m_outOfMemory.exchange(false)) {
        AfxThrowMemoryException();
    }
}

void PauseWorker(DWORD /*milliseconds*/) {
    if (g_run != nullptr) {
        g_run->OnPause();
    }
}
