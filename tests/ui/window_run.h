// Runs the real status window modally on the test's thread while a helper thread plays the user.
// The program's pauses are replaced at link time: the window's return at once, the worker's are
// held at a gate until the script releases it, so each test decides how far a run gets. The workers
// are gone once this object is.
#pragma once

#include "ui/update_dlg.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

class WindowRun {
public:
    explicit WindowRun(CUpdateDlg& dialog);
    ~WindowRun();

    // DoModal here while `script` runs on another thread; returns DoModal's result, which is not
    // 0 when the script's run went astray. When this returns the run has ended; a worker the
    // script left held is still held.
    INT_PTR Run(const std::function<void(WindowRun&)>& script);

    // For the script. Answers Yes and waits until the worker is held at its first pause; returns
    // the window (nothing when the run does not get there).
    HWND ConfirmAndWaitForWorker();
    // False when the run ended first, or when it got stuck (then it is ended).
    bool WaitForWorker();
    // With `outOfMemory`, the worker's next pause throws the framework's out-of-memory error.
    void ReleaseWorker(bool outOfMemory = false) {
        m_outOfMemory = outOfMemory;
        ::SetEvent(m_workerGate.Get());
    }
    // Runs `call` on the window's thread after everything posted to it before and returns after
    // it; once the run has ended, at once.
    void OnWindowThread(const std::function<void()>& call);
    bool Ended() const { return ::WaitForSingleObject(m_ended.Get(), 0) == WAIT_OBJECT_0; }

    // The worker threads the run started; read it once Run has returned.
    int WorkerThreads() const { return static_cast<int>(m_workers.size()); }
    // Every pause of the program while this run exists.
    void OnPause();

private:
    // Ends the modal loop with `code` for DoModal to return.
    void Abort(WPARAM code) const { ::PostThreadMessageA(m_windowThreadId, WM_QUIT, code, 0); }

    CUpdateDlg& m_dialog;
    const DWORD m_windowThreadId;
    HWND m_caller = nullptr;
    mutable std::mutex m_mutex;
    std::vector<KernelHandle> m_workers;
    KernelHandle m_workerHeld;
    KernelHandle m_workerGate;
    KernelHandle m_ended;
    std::atomic<bool> m_outOfMemory{false};
};
