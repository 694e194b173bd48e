#include "payload/work_folder.h"

#include "payload/payload_resource.h"
#include "payload/work_paths.h"

#include <shlobj.h>

#include <cstring>

namespace payload {

namespace {

constexpr char kResourceType[] = "File";

// Replaces `file.name` in `folder` with resource `file.id`; a name that does not fit is skipped.
void WriteIntoFolder(const char* folder, const PayloadFile& file) {
    char path[MAX_PATH];
    if (!BuildFilePath(folder, file.name, path)) {
        return;
    }
    // WriteResourceFile replaces an earlier file; an empty resource writes nothing, but the
    // earlier file still goes.
    if (WriteResourceFile(file.id, path) == 0) {
        ::DeleteFileA(path);
    }
}

// Fills `folder` with the work folder's path and creates the folder (it may exist already).
// False when the path is refused or the folder is not the program's own.
bool OpenWorkFolder(char (&folder)[MAX_PATH]) {
    if (!GetWorkFolderPath(folder)) {
        return false;
    }
    ::CreateDirectoryA(folder, nullptr);
    return GetOwnWorkFolder(folder);
}

} // namespace

bool GetProgramFilesPath(char (&buffer)[MAX_PATH]) {
    std::memset(buffer, 0, sizeof buffer);
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT,
                                  buffer)) ||
        buffer[0] == '\0') {
        std::memset(buffer, 0, sizeof buffer);
        return false;
    }
    return true;
}

bool GetWorkFolderPath(char (&buffer)[MAX_PATH]) {
    // Without a Program Files folder the path would lead to "\BIOSUPDATE" at the drive's root,
    // which any user may have made first.
    return GetProgramFilesPath(buffer) && AppendWorkFolder(buffer, sizeof buffer);
}

bool IsPlainEntry(DWORD attributes, bool directory) {
    const bool isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return isDirectory == directory && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool GetOwnWorkFolder(char (&buffer)[MAX_PATH]) {
    if (!GetWorkFolderPath(buffer)) {
        return false;
    }
    const DWORD attributes = ::GetFileAttributesA(buffer);
    if (attributes == INVALID_FILE_ATTRIBUTES || !IsPlainEntry(attributes, true)) {
        std::memset(buffer, 0, sizeof buffer);
        return false;
    }
    return true;
}

bool FileExists(const char* path) {
    if (path == nullptr) {
        return false;
    }
    WIN32_FIND_DATAA found;
    const FindHandle find(::FindFirstFileA(path, &found));
    return find.IsValid();
}

PayloadResource::PayloadResource(UINT id) {
    // Resource numbers are 16 bits wide; a larger one would silently name another resource.
    if (id > 0xFFFF) {
        return;
    }
    const HMODULE module = AfxGetResourceHandle();
    const HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(id), kResourceType);
    if (found == nullptr) {
        return;
    }
    m_loaded.Reset(::LoadResource(module, found));
    if (m_loaded) {
        m_data = ::LockResource(m_loaded.Get());
        m_size = m_data != nullptr ? ::SizeofResource(module, found) : 0;
    }
}

int WriteResourceFile(UINT id, const char* path) {
    const PayloadResource resource(id);
    if (!resource.Found()) {
        return 1;
    }
    if (resource.Size() == 0) {
        return 0;
    }
    if (path == nullptr) {
        return 1;
    }
    // A file that cannot be deleted (in use, read-only, a directory) keeps its old content.
    if (FileExists(path) && !::DeleteFileA(path)) {
        return 1;
    }
    CFile file(path, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
    file.Write(resource.Data(), resource.Size());
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
    // Through a link the deletions would reach another folder's files of the same names.
    char folder[MAX_PATH];
    if (!GetOwnWorkFolder(folder)) {
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
