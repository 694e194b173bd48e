// What the Wine-side test programs share: real files and folders, a moved Program Files folder,
// the version stamp in the registry, and message boxes read and answered from another thread.
#pragma once

#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace support {

// Files and folders (Windows paths).
std::optional<std::string> ReadFile(const std::string& path);        // nothing if unreadable
bool WriteFile(const std::string& path, const std::string& content); // parents made
bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);
std::set<std::string> List(const std::string& folder); // names, no "." / ".."
void RemoveTree(const std::string& path);              // read-only files included
bool CreateFolders(const std::string& path);

// A fresh folder under %TEMP%, removed with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string PathOf(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

// The program's work folder, worked out independently of the program's routines.
std::string ProgramFilesFolder();
std::string WorkFolder(); // ProgramFilesFolder() + "\\BIOSUPDATE"

// Points the Program Files folder (HKLM ...\CurrentVersion\ProgramFilesDir) at `folder` (created)
// for its lifetime; restores the old value even when the test fails.
class MovedProgramFiles {
public:
    explicit MovedProgramFiles(const std::string& folder);
    ~MovedProgramFiles();
    MovedProgramFiles(const MovedProgramFiles&) = delete;
    MovedProgramFiles& operator=(const MovedProgramFiles&) = delete;

    bool Applied() const { return m_previous.has_value(); }

private:
    std::optional<std::string> m_previous; // only once the folder was moved
};

// The version stamp under HKEY_USERS\.DEFAULT\Software\Tamrel\BIOSUPDATE\Parameters; `data` holds
// the stored bytes, terminating zero included.
struct Stamp {
    bool present = false;
    DWORD type = REG_NONE;
    std::string data;
};
Stamp ReadStamp();
void DeleteStampKeys(); // removes ...\Software\Tamrel and below

// Message boxes on the display, shown on another thread than the caller's (the test programs
// that show them run one at a time).
struct MessageBoxSeen {
    bool found = false;
    HWND box = nullptr;
    HWND owner = nullptr;
    std::string caption, text;
    HICON icon = nullptr;
    bool topmost = false;
    std::vector<int> buttons;
    int defaultButton = 0;
};
MessageBoxSeen WaitForMessageBox(const std::string& caption, DWORD timeoutMs = 10000);
bool ShowsSystemIcon(const MessageBoxSeen& box, LPCSTR iconName); // IDI_HAND, ...
void Press(const MessageBoxSeen& box, int buttonId);              // BM_CLICK

// Waits on its own thread for the box, records it and presses `button`.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(std::string caption, int button = IDOK);
    ~MessageBoxWatcher();

    MessageBoxSeen Result(); // waits for the watch to end

private:
    MessageBoxSeen m_seen;
    std::thread m_thread;
};

} // namespace support
