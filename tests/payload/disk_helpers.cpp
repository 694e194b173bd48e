#include "disk_helpers.h"

#include "afx_handle.h"

#include <algorithm>

namespace disk {

namespace {

constexpr char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kProgramFilesValue[] = "ProgramFilesDir";

std::optional<std::string> ReadProgramFilesDir() {
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    char value[MAX_PATH * 2] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key.Get(), kProgramFilesValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    return std::string(value);
}

bool WriteProgramFilesDir(const std::string& folder) {
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_SET_VALUE, key.Receive()) !=
        ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExA(key.Get(), kProgramFilesValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(folder.c_str()),
                          static_cast<DWORD>(folder.size() + 1)) == ERROR_SUCCESS;
}

} // namespace

std::optional<std::string> ReadAll(const std::string& path) {
    const KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || IsDirectory(path)) {
        return std::nullopt;
    }
    std::string content;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        content.append(chunk, read);
    }
    return content;
}

bool WriteAll(const std::string& path, const std::string& content) {
    const KernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file &&
           WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                     nullptr) &&
           written == content.size();
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::set<std::string> List(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    const FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!find) {
        return names;
    }
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") {
            names.insert(name);
        }
    } while (FindNextFileA(find.Get(), &found));
    return names;
}

void RemoveTree(const std::string& path) {
    if (IsDirectory(path)) {
        for (const std::string& name : List(path)) {
            RemoveTree(path + "\\" + name);
        }
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryA(path.c_str());
    } else if (Exists(path)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

bool CreateFolders(const std::string& path) {
    for (std::size_t separator = path.find('\\', 3); separator != std::string::npos;
         separator = path.find('\\', separator + 1)) {
        CreateDirectoryA(path.substr(0, separator).c_str(), nullptr);
    }
    CreateDirectoryA(path.c_str(), nullptr);
    return IsDirectory(path);
}

std::string EmbeddedPayload(const std::string& name) {
    std::string path = std::string("Z:") + BIOSUPDATE_PAYLOAD_SOURCE + "/" + name;
    std::replace(path.begin(), path.end(), '/', '\\');
    return ReadAll(path).value_or("<" + path + " cannot be read>");
}

std::optional<std::string> ResourceBytes(HMODULE module, unsigned id) {
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), "File");
    if (found == nullptr) {
        return std::nullopt;
    }
    // Resources of a loaded module live as long as the module; there is nothing to release.
    const HGLOBAL loaded = LoadResource(module, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    const DWORD size = SizeofResource(module, found);
    if (size > 0 && data == nullptr) {
        return std::nullopt;
    }
    return std::string(data, data + size);
}

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string program(path, length);
    return program.substr(0, program.find_last_of('\\'));
}

ProgramFilesDirOverride::ProgramFilesDirOverride(const std::string& folder)
    : m_previous(ReadProgramFilesDir()) {
    m_applied = m_previous.has_value() && WriteProgramFilesDir(folder);
}

ProgramFilesDirOverride::~ProgramFilesDirOverride() {
    if (m_applied) {
        WriteProgramFilesDir(*m_previous);
    }
}

CurrentDirectoryOverride::CurrentDirectoryOverride(const std::string& folder) {
    char previous[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, previous);
    m_previous.assign(previous, length);
    m_applied = length > 0 && length < MAX_PATH && SetCurrentDirectoryA(folder.c_str());
}

CurrentDirectoryOverride::~CurrentDirectoryOverride() {
    if (m_applied) {
        SetCurrentDirectoryA(m_previous.c_str());
    }
}

} // namespace disk
