#include "test_support.h"

#include "afx_handle.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <fstream>
#include <iterator>

namespace support {

namespace {

constexpr char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

bool SetProgramFilesValue(const std::string& folder) {
    return SHSetValueA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "ProgramFilesDir", REG_SZ,
                       folder.c_str(), static_cast<DWORD>(folder.size() + 1)) == ERROR_SUCCESS;
}

} // namespace

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file || IsDirectory(path)) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const std::string& content) {
    CreateFolders(path.substr(0, path.find_last_of('\\')));
    std::ofstream file(path, std::ios::binary);
    return static_cast<bool>(file << content << std::flush);
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::set<std::string> List(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    const FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &found));
    for (bool more = find.IsValid(); more; more = FindNextFileA(find.Get(), &found)) {
        names.insert(found.cFileName);
    }
    names.erase(".");
    names.erase("..");
    return names;
}

void RemoveTree(const std::string& path) {
    // Only below a drive root, never the root of the current drive: Z: is the host's root.
    if (path.size() < 4 || path.compare(1, 2, ":\\") != 0) {
        return;
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const std::string& name : List(path)) {
        RemoveTree(path + "\\" + name);
    }
    if (!RemoveDirectoryA(path.c_str())) {
        DeleteFileA(path.c_str());
    }
}

bool CreateFolders(const std::string& path) {
    SHCreateDirectoryExA(nullptr, path.c_str(), nullptr);
    return IsDirectory(path);
}

ScratchFolder::ScratchFolder() {
    char temporary[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temporary);
    for (int suffix = 0; suffix < 100; ++suffix) {
        m_path = temporary + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(suffix);
        if (CreateDirectoryA(m_path.c_str(), nullptr)) {
            return;
        }
    }
}

ScratchFolder::~ScratchFolder() {
    RemoveTree(m_path);
}

std::string ProgramFilesFolder() {
    char folder[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder);
    return folder;
}

std::string WorkFolder() {
    return ProgramFilesFolder() + "\\BIOSUPDATE";
}

MovedProgramFiles::MovedProgramFiles(const std::string& folder) {
    char previous[2 * MAX_PATH] = {};
    DWORD size = sizeof previous - 1;
    if (SHGetValueA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "ProgramFilesDir", nullptr, previous,
                    &size) == ERROR_SUCCESS &&
        CreateFolders(folder) && SetProgramFilesValue(folder)) {
        m_previous = previous;
    }
}

MovedProgramFiles::~MovedProgramFiles() {
    if (m_previous) {
        SetProgramFilesValue(*m_previous);
    }
}

Stamp ReadStamp() {
    Stamp stamp;
    char data[256] = {};
    DWORD size = sizeof data;
    stamp.present = SHGetValueA(HKEY_USERS, ".DEFAULT\\Software\\Tamrel\\BIOSUPDATE\\Parameters",
                                "Version", &stamp.type, data, &size) == ERROR_SUCCESS;
    stamp.data.assign(data, stamp.present ? size : 0);
    return stamp;
}

void DeleteStampKeys() {
    SHDeleteKeyA(HKEY_USERS, ".DEFAULT\\Software\\Tamrel");
}

MessageBoxSeen WaitForMessageBox(const std::string& caption, DWORD timeoutMs) {
    MessageBoxSeen seen;
    for (const DWORD start = GetTickCount(); !seen.found; Sleep(20)) {
        seen.box = FindWindowA("#32770", caption.c_str());
        seen.found = seen.box != nullptr && IsWindowVisible(seen.box);
        if (!seen.found && GetTickCount() - start > timeoutMs) {
            return {};
        }
    }
    seen.owner = GetWindow(seen.box, GW_OWNER);
    seen.caption = caption;
    char text[2048] = {};
    GetDlgItemTextA(seen.box, 0xFFFF, text, sizeof text); // the box's static text
    seen.text = text;
    for (const int id : {0x14, 0x440}) { // its icon, on Windows and under Wine
        if (const HWND icon = GetDlgItem(seen.box, id); IsWindowVisible(icon)) {
            seen.icon = reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0));
        }
    }
    seen.topmost = (GetWindowLongA(seen.box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    for (const int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
        if (const HWND button = GetDlgItem(seen.box, id); IsWindowVisible(button)) {
            seen.buttons.push_back(id);
            if ((GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                seen.defaultButton = id;
            }
        }
    }
    return seen;
}

bool ShowsSystemIcon(const MessageBoxSeen& box, LPCSTR iconName) {
    // System icons are shared: the box shows the very handle LoadIcon gives.
    return box.icon != nullptr && box.icon == LoadIconA(nullptr, iconName);
}

void Press(const MessageBoxSeen& box, int buttonId) {
    SendMessageA(GetDlgItem(box.box, buttonId), BM_CLICK, 0, 0);
}

MessageBoxWatcher::MessageBoxWatcher(std::string caption, int button)
    : m_thread([this, caption = std::move(caption), button] {
          m_seen = WaitForMessageBox(caption);
          Press(m_seen, button);
      }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
    Result();
}

MessageBoxSeen MessageBoxWatcher::Result() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return m_seen;
}

} // namespace support
