// The worker's two reaches outside the program: the flash utility's process and the registry
// stamp.
#include "worker/update_thread.h"

#include "payload/payload_hold.h"
#include "ui/update_dlg.h"
#include "worker/flash_command_line.h"
#include "worker/version_stamp.h"

#include <cstring>

namespace {

// Marks the utility's run on the window from just before its start until it has ended.
class UtilityRunMark {
public:
    explicit UtilityRunMark(CUpdateDlg* window) : m_window(window) {
        if (m_window != nullptr) {
            m_window->SetUtilityRunning(true);
        }
    }
    ~UtilityRunMark() {
        if (m_window != nullptr) {
            m_window->SetUtilityRunning(false);
        }
    }
    void Started(DWORD processId) const {
        if (m_window != nullptr) {
            m_window->SetUtilityProcess(processId);
        }
    }
    UtilityRunMark(const UtilityRunMark&) = delete;
    UtilityRunMark& operator=(const UtilityRunMark&) = delete;

private:
    CUpdateDlg* m_window;
};

} // namespace

BOOL CHWDriverDownloadThread::RunFlashUtility(CString commandLine, CString workFolder) {
    // Naming the executable as well as quoting it keeps Windows from trying "C:\Program.exe"
    // for a Program Files folder with a space in it.
    char applicationName[worker::kFlashExecutablePathSize];
    if (!worker::FormatFlashExecutablePath(workFolder, applicationName, sizeof applicationName)) {
        return FALSE;
    }
    // CreateProcessA may write into the command line it is given.
    char writableCommandLine[worker::kFlashCommandLineSize] = {};
    const auto length = static_cast<std::size_t>(commandLine.GetLength());
    if (length >= sizeof writableCommandLine) {
        return FALSE;
    }
    std::memcpy(writableCommandLine, commandLine.GetString(), length);

    STARTUPINFOA startupInfo{};
    startupInfo.cb = sizeof startupInfo;
    static_assert(sizeof(STARTUPINFOA) == 68, "the start-up record of 32-bit Windows");
    PROCESS_INFORMATION processInfo{};
    // From the check until the utility has ended, what it runs and flashes is the package's own:
    // a stale file that could not be replaced, or one swapped since it was written, starts
    // nothing.
    payload::PayloadHold payload;
    if (!payload.Acquire(workFolder)) {
        return FALSE;
    }
    const UtilityRunMark running(m_pOwner);
    if (!::CreateProcessA(applicationName, writableCommandLine, nullptr, nullptr, FALSE,
                          CREATE_NO_WINDOW, nullptr, workFolder, &startupInfo, &processInfo)) {
        return FALSE;
    }
    // Declared in this order so that the thread handle is closed first.
    const KernelHandle process(processInfo.hProcess);
    const KernelHandle thread(processInfo.hThread);
    running.Started(processInfo.dwProcessId);
    ::WaitForSingleObject(process.Get(), INFINITE);
    return TRUE;
}

BOOL CHWDriverDownloadThread::WriteVersionStamp() {
    RegistryKey key;
    using worker::kStampKeyPath;
    if (::RegOpenKeyExA(HKEY_USERS, kStampKeyPath, 0, KEY_SET_VALUE, key.Receive()) !=
            ERROR_SUCCESS &&
        ::RegCreateKeyA(HKEY_USERS, kStampKeyPath, key.Receive()) != ERROR_SUCCESS) {
        return FALSE;
    }
    const LONG written = ::RegSetValueExA(key.Get(), worker::kStampValueName, 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(worker::kStampVersion),
                                          sizeof worker::kStampVersion);
    return written == ERROR_SUCCESS ? TRUE : FALSE;
}
