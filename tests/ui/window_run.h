// Runs the real status window modally on the test's thread while a helper thread plays the user:
// it answers the message boxes, sends the window messages and looks at the screen and the disk.
// The worker's and the window's pauses are held at gates instead of slept, so each test decides
// how far a run gets; hooks on the window's thread record what it did.
#ifndef BIOSUPDATE_TESTS_UI_WINDOW_RUN_H
#define BIOSUPDATE_TESTS_UI_WINDOW_RUN_H

#include "ui/update_dlg.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace uitest {

// The window's confirmation question, or the framework's report of an error, as the user saw it.
struct MessageBoxSeen {
    HWND box = nullptr;
    HWND owner = nullptr;
    std::string text;
    int defaultButton = 0;
    HICON icon = nullptr;
    // The ids of the buttons shown, in ascending order.
    std::vector<int> buttons;
};

// One WM_TIMER taken from the window thread's queue, with what the window held at that moment.
struct TimerTick {
    UINT_PTR id = 0;
    int progressBefore = 0;
    CString imageFile;
    bool imageOnDisk = false;
    bool workerCreated = false;
};

class WindowRun {
public:
    using Script = std::function<void(WindowRun&)>;

    explicit WindowRun(CUpdateDlg& dialog);
    ~WindowRun();
    WindowRun(const WindowRun&) = delete;
    WindowRun& operator=(const WindowRun&) = delete;

    // DoModal on this thread while `script` runs on a helper thread; returns DoModal's result.
    // Whatever the script leaves undone, the run is ended and every thread has finished when this
    // returns.
    INT_PTR Run(const Script& script);

    // For the script.
    // The first visible dialog box other than the window itself with this caption, or nothing.
    MessageBoxSeen WaitForBox(const std::string& caption);
    // Presses a button of a box with BM_CLICK, as a user would.
    static void Press(const MessageBoxSeen& box, int buttonId);
    // Confirms the question, waits until the worker has been started and is held at its first
    // pause; false (with a failure noted) when the run does not get there.
    bool ConfirmAndWaitForWorker();
    bool WaitForWorker();
    // Holds the window's own pause until ReleaseWindowPause; must be called before the run.
    void HoldWindowPause();
    bool WaitForWindowPause();
    void ReleaseWindowPause();
    void ReleaseWorker();
    // Runs `call` on the window's thread and returns when it has.
    void OnWindowThread(const std::function<void()>& call);
    // Returns when every message posted to the window's thread before this call has been handled.
    void DrainWindowQueue();
    // Waits until DoModal has returned; false when it has not within the time allowed.
    bool WaitForEnd();
    bool Ended() const;
    void NoteFailure(const std::string& failure);

    HWND Window() const;
    std::string WorkFile(const std::string& name) const { return m_workFolder + "\\" + name; }

    // Observations, complete once Run has returned.
    std::vector<std::string> Failures() const;
    std::vector<DWORD> WindowPauses() const;
    bool WorkerStarted() const;
    int WorkerThreadsSeen() const;
    std::vector<TimerTick> Ticks() const;
    std::vector<UINT> CommandsSent() const;
    // True when the window ever was topmost and as large as the screen.
    bool EverCoveredScreen() const;
    bool EverTopmost() const;

    // Stands in for every pause of the program while this run exists.
    void OnPause(DWORD milliseconds);

private:
    void RecordTick(const MSG& message);
    void RecordWindowState();
    void RecordCommand(WPARAM wParam);
    void EndWorkerThreads();

    static LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CallWindowHook(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CallWindowReturnHook(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CallerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    CUpdateDlg& m_dialog;
    const DWORD m_windowThreadId;
    const std::string m_workFolder;
    HWND m_caller = nullptr;
    HHOOK m_hooks[3] = {};

    mutable std::mutex m_mutex;
    HWND m_window = nullptr;
    std::vector<std::string> m_failures;
    std::vector<DWORD> m_windowPauses;
    std::vector<DWORD> m_workerThreadIds;
    std::vector<TimerTick> m_ticks;
    std::vector<UINT> m_commands;
    bool m_everCoveredScreen = false;
    bool m_everTopmost = false;
    bool m_holdWindowPause = false;

    std::vector<KernelHandle> m_workerThreads;
    KernelHandle m_workerHeld;
    KernelHandle m_workerGate;
    KernelHandle m_windowPaused;
    KernelHandle m_windowGate;
    KernelHandle m_ended;
};

// The work folder the program uses: the Program Files folder followed by "\BIOSUPDATE".
std::string ExpectedWorkFolder();

// A file kept open so that its name can be deleted but not created again until it is closed.
class HeldFile {
public:
    explicit HeldFile(const std::string& path);

    bool IsOpen() const { return m_file.IsValid(); }
    void Close() { m_file.Reset(); }

private:
    KernelHandle m_file;
};

} // namespace uitest

#endif
