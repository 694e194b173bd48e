#include "payload/work_folder.h"

#include "payload/work_paths.h"

#include <shlobj.h>

#include <cstring>

namespace payload {

namespace {

constexpr char kResourceType[] = "File";

struct LoadedResourceTraits {
    using Handle = HGLOBAL;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static void Close(Handle handle) { ::FreeResource(handle); }
};
// Released on every way out of WriteResourceFile, the file error included.
using LoadedResource = ScopedHandle<LoadedResourceTraits>;

// Replaces `file.name` in `folder` with resource `file.id`; a name that does not fit is skipped.
void WriteIntoFolder(const char* folder, const PayloadFile& file) {
    char path[MAX_PATH];
    if (!BuildFilePath(folder, file.name, path)) {
        return;
    }
    ::DeleteFileA(path);
    WriteResourceFile(file.id, path);
}

// Fills `folder` with the work folder's path and creates the folder (it may exist already).
// False when the path is refused.
bool OpenWorkFolder(char (&folder)[MAX_PATH]) {
    if (!GetWorkFolderPath(folder)) {
        return false;
    }
    ::CreateDirectoryA(folder, nullptr);
    return true;
}

} // namespace

bool GetWorkFolderPath(char (&buffer)[MAX_PATH]) {
    std::memset(buffer, 0, sizeof buffer);
    // Not examined: a failure leaves the cleared buffer empty, and the folder at the drive root.
    ::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return AppendWorkFolder(buffer, sizeof buffer);
}

bool FileExists(const char* path) {
    if (path == nullptr) {
        return false;
    }
    WIN32_FIND_DATAA found;
    const FindHandle find(::FindFirstFileA(path, &found));
    return find.IsValid();
}

int WriteResourceFile(UINT id, const char* path) {
    // Resource numbers are 16 bits wide; a larger one would silently name another resource.
    if (id > 0xFFFF) {
        return 1;
    }
    const HMODULE module = AfxGetResourceHandle();
    const HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(id), kResourceType);
    if (found == nullptr) {
        return 1;
    }
    const LoadedResource loaded(::LoadResource(module, found));
    if (!loaded) {
        return 1;
    }
    const void* data = ::LockResource(loaded.Get());
    const DWORD size = ::SizeofResource(module, found);
    if (size == 0) {
        return 0;
    }
    if (data == nullptr || path == nullptr) {
        return 1;
    }
    // A file that cannot be deleted (in use, read-only, a directory) keeps its old content.
    if (FileExists(path) && !::DeleteFileA(path)) {
        return 1;
    }
    CFile file(path, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
    file.Write(data, size);
    file.Close();
    return 1;
}

void ExtractUtilityFiles() {
    char folder[MAX_PATH];
    if (!OpenWorkFolder(folder)) {
        return;
    }
    for (const PayloadFile& file : kUtilityFiles) {
        WriteIntoFolder(folder, file);
    }
}

void ExtractBiosImage(CString& imageFile) {
    char folder[MAX_PATH];
    if (!OpenWorkFolder(folder)) {
        return;
    }
    imageFile = kBiosImage.name;
    WriteIntoFolder(folder, kBiosImage);
}

void CleanUpWorkFolder() {
    char folder[MAX_PATH];
    if (!GetWorkFolderPath(folder)) {
        return;
    }
    for (const char* name : kCleanUpFiles) {
        char path[MAX_PATH];
        if (BuildFilePath(folder, name, path)) {
            ::DeleteFileA(path);
        }
    }
    // Succeeds only once the folder is empty.
    ::RemoveDirectoryA(folder);
}

void FinishUpdateRun() {
    char folder[MAX_PATH];
    if (!OpenWorkFolder(folder)) {
        return;
    }
    char backup[MAX_PATH];
    const bool haveBackupPath = BuildFilePath(folder, kBackupFileName, backup);
    // The backup goes only after the folder removal was tried, so a run that left one keeps
    // its folder, empty, until a later clean-up.
    CleanUpWorkFolder();
    if (haveBackupPath) {
        ::DeleteFileA(backup);
    }
}

} // namespace payload
