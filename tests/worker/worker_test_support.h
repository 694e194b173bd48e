// What the worker's tests share: the real work folder and registry of the Wine prefix, a real
// window standing in for the status window's, and a run of the real worker thread watched from
// outside through its pauses, the window's queue and timers, and the registry.
#ifndef BIOSUPDATE_TESTS_WORKER_WORKER_TEST_SUPPORT_H
#define BIOSUPDATE_TESTS_WORKER_WORKER_TEST_SUPPORT_H

#include "afx.h"
#include "ui/update_dlg.h"
#include "worker/update_thread.h"

#include <ostream>
#include <string>
#include <vector>

namespace worker_test {

// "C:\Program Files" as the shell names it now.
std::string ProgramFilesFolder();
// The folder the worker is expected to use, built independently of the program's routines.
std::string ExpectedWorkFolder();
// A path of this build tree (Unix form) as Wine's Z: drive names it.
std::string WindowsPathOf(const std::string& unixPath);
// The folder that holds the running test program.
std::string TestProgramFolder();

// The stand-in flash utility of this build tree, and the launch probe (launch_probe.cpp) with the
// marker it writes.
std::string FlashStubPath();
std::string LaunchProbePath();
constexpr char kProbeMarker[] = "C:\\launch_probe_ran.txt";

bool FileExists(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& content);
std::string ReadTextFile(const std::string& path);
// Deletes every file in `folder`, then the folder.
void RemoveFolderWithFiles(const std::string& folder);

// The work folder, created empty and removed with everything in it at the end.
class ScopedWorkFolder {
public:
    ScopedWorkFolder();
    ~ScopedWorkFolder();
    ScopedWorkFolder(const ScopedWorkFolder&) = delete;
    ScopedWorkFolder& operator=(const ScopedWorkFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string FilePath(const std::string& name) const { return m_path + "\\" + name; }
    void PutImage(const std::string& name = "mirtsf13.imc") const;

private:
    std::string m_path;
};

// A copy of `source` at `destination` for the scope's lifetime.
class ScopedFileCopy {
public:
    ScopedFileCopy(const std::string& source, const std::string& destination);
    ~ScopedFileCopy();
    ScopedFileCopy(const ScopedFileCopy&) = delete;
    ScopedFileCopy& operator=(const ScopedFileCopy&) = delete;

    bool Copied() const { return m_copied; }

private:
    std::string m_destination;
    bool m_copied;
};

// An environment variable of this process (inherited by what it starts), removed at the end.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const char* name, const std::string& value);
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    const char* m_name;
};

// The value of the first "key=value" line of a record, or "<missing>".
std::string RecordValue(const std::string& record, const std::string& key);

// Points the Program Files folder at `folder` (created here) and restores the old value.
class ScopedProgramFiles {
public:
    explicit ScopedProgramFiles(const std::string& folder);
    ~ScopedProgramFiles();
    ScopedProgramFiles(const ScopedProgramFiles&) = delete;
    ScopedProgramFiles& operator=(const ScopedProgramFiles&) = delete;

private:
    std::string m_folder;
    std::string m_previous;
};

// The registry stamp as it is read back.
struct StampValue {
    bool present = false;
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::string data;
};

// Removes the vendor key under HKEY_USERS\.DEFAULT\Software with everything below it.
void DeleteStampKeys();
StampValue ReadStamp();

struct RunRecord {
    std::vector<std::string> events; // see event_log.h
    int finishMessages = 0;      // WM_UPDATE_FINISH with both parameters 0 in the window's queue
    int otherFinishMessages = 0; // WM_UPDATE_FINISH with other parameters
    bool exitTimerArmed = false;
    bool workerDeleted = false;
    DWORD threadExitCode = STILL_ACTIVE;
};

// A status window object whose handle is a real, visible top-level window of this thread (the
// same window for every test; its exit timer and queued messages are cleared at the end).
class TestStatusWindow {
public:
    TestStatusWindow();
    ~TestStatusWindow();
    TestStatusWindow(const TestStatusWindow&) = delete;
    TestStatusWindow& operator=(const TestStatusWindow&) = delete;

    CUpdateDlg dialog;
    HWND Handle() const { return dialog.m_hWnd; }
};

// Runs a worker for `window` on its own thread with its events logged, waits for the thread to
// end (ending the test program if it does not), then takes the finish message out of the window's
// queue and checks (and ends) the exit timer. With `keepExitTimer` the timer is left running.
RunRecord RunWorker(TestStatusWindow& window, bool keepExitTimer = false);

// A worker that reports its deletion.
class ObservedWorker : public CHWDriverDownloadThread {
public:
    // `deleted` is an event, set when the object is destroyed.
    ObservedWorker(CUpdateDlg* owner, HANDLE deleted);
    ~ObservedWorker() override;

private:
    HANDLE m_deleted;
};

} // namespace worker_test

#endif
