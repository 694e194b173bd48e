#include "worker_test_support.h"

#include "event_log.h"
#include "ui/update_messages.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>

namespace worker_test {

namespace {

constexpr char kStampKeyPath[] = ".DEFAULT\\Software\\Tamrel\\BIOSUPDATE\\Parameters";
constexpr char kVendorKeyPath[] = ".DEFAULT\\Software\\Tamrel";
constexpr char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kProgramFilesValue[] = "ProgramFilesDir";
constexpr char kWindowClass[] = "WorkerTestStatusWindow";
constexpr DWORD kRunTimeoutMs = 60000;

// Waits for `handle` while answering messages sent to this thread's windows (a cross-thread
// call into the window must not dead-lock), leaving posted messages and paints queued.
bool WaitAnsweringSentMessages(HANDLE handle, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeoutMs) {
            return false;
        }
        const DWORD woken =
            ::MsgWaitForMultipleObjects(1, &handle, FALSE, timeoutMs - elapsed, QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0) {
            return true;
        }
        if (woken != WAIT_OBJECT_0 + 1) {
            return false;
        }
        MSG message;
        ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void DrainMessages() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::DispatchMessageA(&message);
    }
}

// One visible window for the whole program: under Wine without a window manager, hiding or
// destroying a shown window waits two seconds for the X server.
class SharedWindow {
public:
    SharedWindow() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = ::DefWindowProcA;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kWindowClass;
        ::RegisterClassA(&windowClass);
        m_hwnd = ::CreateWindowExA(0, kWindowClass, "worker test", WS_POPUP | WS_VISIBLE, 0, 0, 200,
                                   100, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    }
    ~SharedWindow() { ::DestroyWindow(m_hwnd); }
    SharedWindow(const SharedWindow&) = delete;
    SharedWindow& operator=(const SharedWindow&) = delete;

    HWND Handle() const { return m_hwnd; }

private:
    HWND m_hwnd;
};

HWND TheSharedWindow() {
    static const SharedWindow window;
    return window.Handle();
}

} // namespace

std::string ProgramFilesFolder() {
    char folder[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, folder);
    return folder;
}

std::string ExpectedWorkFolder() {
    return ProgramFilesFolder() + "\\BIOSUPDATE";
}

std::string WindowsPathOf(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& character : path) {
        if (character == '/') {
            character = '\\';
        }
    }
    return path;
}

std::string TestProgramFolder() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\'));
}

std::string FlashStubPath() {
    return WindowsPathOf(WORKER_TEST_FLASH_STUB);
}

std::string LaunchProbePath() {
    return WindowsPathOf(WORKER_TEST_LAUNCH_PROBE);
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteTextFile(const std::string& path, const std::string& content) {
    const KernelHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) {
        ::WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                    nullptr);
    }
}

std::string ReadTextFile(const std::string& path) {
    const KernelHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string content;
    if (!file) {
        return content;
    }
    char chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        content.append(chunk, read);
    }
    return content;
}

void RemoveFolderWithFiles(const std::string& folder) {
    WIN32_FIND_DATAA found;
    const FindHandle search(::FindFirstFileA((folder + "\\*").c_str(), &found));
    if (search) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            const std::string path = folder + "\\" + name;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveFolderWithFiles(path);
            } else {
                ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA(path.c_str());
            }
        } while (::FindNextFileA(search.Get(), &found));
    }
    ::RemoveDirectoryA(folder.c_str());
}

ScopedWorkFolder::ScopedWorkFolder() : m_path(ExpectedWorkFolder()) {
    RemoveFolderWithFiles(m_path);
    ::CreateDirectoryA(m_path.c_str(), nullptr);
}

ScopedWorkFolder::~ScopedWorkFolder() {
    RemoveFolderWithFiles(m_path);
}

void ScopedWorkFolder::PutImage(const std::string& name) const {
    WriteTextFile(FilePath(name), "carried BIOS image");
}

ScopedFileCopy::ScopedFileCopy(const std::string& source, const std::string& destination)
    : m_destination(destination),
      m_copied(::CopyFileA(source.c_str(), destination.c_str(), FALSE) != FALSE) {}

ScopedFileCopy::~ScopedFileCopy() {
    ::DeleteFileA(m_destination.c_str());
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const char* name, const std::string& value)
    : m_name(name) {
    ::SetEnvironmentVariableA(m_name, value.c_str());
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
    ::SetEnvironmentVariableA(m_name, nullptr);
}

std::string RecordValue(const std::string& record, const std::string& key) {
    const std::string start = key + "=";
    std::size_t line = 0;
    while (line < record.size()) {
        const std::size_t end = record.find("\r\n", line);
        const std::string text = record.substr(line, end == std::string::npos ? end : end - line);
        if (text.compare(0, start.size(), start) == 0) {
            return text.substr(start.size());
        }
        if (end == std::string::npos) {
            break;
        }
        line = end + 2;
    }
    return "<missing>";
}

ScopedProgramFiles::ScopedProgramFiles(const std::string& folder) : m_folder(folder) {
    RegistryKey key;
    ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    key.Receive());
    char previous[MAX_PATH] = {};
    DWORD size = sizeof previous - 1;
    ::RegQueryValueExA(key.Get(), kProgramFilesValue, nullptr, nullptr,
                       reinterpret_cast<BYTE*>(previous), &size);
    m_previous = previous;
    ::CreateDirectoryA(m_folder.c_str(), nullptr);
    ::RegSetValueExA(key.Get(), kProgramFilesValue, 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(m_folder.c_str()),
                     static_cast<DWORD>(m_folder.size() + 1));
}

ScopedProgramFiles::~ScopedProgramFiles() {
    RegistryKey key;
    ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_SET_VALUE, key.Receive());
    ::RegSetValueExA(key.Get(), kProgramFilesValue, 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(m_previous.c_str()),
                     static_cast<DWORD>(m_previous.size() + 1));
    RemoveFolderWithFiles(m_folder);
}

void DeleteStampKeys() {
    ::SHDeleteKeyA(HKEY_USERS, kVendorKeyPath);
}

StampValue ReadStamp() {
    StampValue stamp;
    RegistryKey key;
    if (::RegOpenKeyExA(HKEY_USERS, kStampKeyPath, 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS) {
        return stamp;
    }
    char data[64] = {};
    stamp.size = sizeof data;
    if (::RegQueryValueExA(key.Get(), "Version", nullptr, &stamp.type,
                           reinterpret_cast<BYTE*>(data), &stamp.size) != ERROR_SUCCESS) {
        return StampValue{};
    }
    stamp.present = true;
    stamp.data.assign(data, stamp.size);
    return stamp;
}

TestStatusWindow::TestStatusWindow() {
    dialog.m_hWnd = TheSharedWindow();
    DrainMessages();
    ::ValidateRect(dialog.m_hWnd, nullptr);
}

TestStatusWindow::~TestStatusWindow() {
    ::KillTimer(dialog.m_hWnd, IDT_EXIT);
    DrainMessages();
    dialog.m_hWnd = nullptr;
}

ObservedWorker::ObservedWorker(CUpdateDlg* owner, HANDLE deleted)
    : CHWDriverDownloadThread(owner), m_deleted(deleted) {}

ObservedWorker::~ObservedWorker() {
    ::SetEvent(m_deleted);
}

RunRecord RunWorker(TestStatusWindow& window, bool keepExitTimer) {
    RunRecord record;
    const HWND hwnd = window.Handle();
    DrainMessages();
    ::ValidateRect(hwnd, nullptr);

    if (!InstallCallSpies()) {
        std::fprintf(stderr, "the worker's calls cannot be watched\n");
        ::ExitProcess(1);
    }
    const KernelHandle deleted(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    auto* worker = new ObservedWorker(&window.dialog, deleted.Get());
    // Suspended, so that the thread's handle can be taken before the object may delete itself.
    if (!worker->CreateThread(CREATE_SUSPENDED)) {
        delete worker;
        return record;
    }
    StartEventLog(worker->m_nThreadID, window.dialog);
    KernelHandle thread;
    ::DuplicateHandle(::GetCurrentProcess(), worker->m_hThread, ::GetCurrentProcess(),
                      thread.Receive(), 0, FALSE, DUPLICATE_SAME_ACCESS);
    ::ResumeThread(thread.Get());
    if (!WaitAnsweringSentMessages(thread.Get(), kRunTimeoutMs)) {
        // The worker still uses the log and the window: nothing can go on safely.
        std::fprintf(stderr, "the worker did not end within %lu ms\n", kRunTimeoutMs);
        ::ExitProcess(1);
    }
    ::GetExitCodeThread(thread.Get(), &record.threadExitCode);
    record.workerDeleted = ::WaitForSingleObject(deleted.Get(), 0) == WAIT_OBJECT_0;
    record.events = StopEventLog();

    MSG message;
    while (::PeekMessageA(&message, hwnd, WM_UPDATE_FINISH, WM_UPDATE_FINISH, PM_REMOVE)) {
        ++(message.wParam == 0 && message.lParam == 0 ? record.finishMessages
                                                      : record.otherFinishMessages);
    }
    if (!keepExitTimer) {
        record.exitTimerArmed = ::KillTimer(hwnd, IDT_EXIT) != FALSE;
    }
    return record;
}

} // namespace worker_test
