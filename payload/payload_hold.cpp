#include "payload/payload_hold.h"

#include "payload/payload_resource.h"
#include "payload/work_folder.h"

#include <cstring>
#include <memory>

namespace payload {

namespace {

constexpr DWORD kCompareChunkSize = 64 * 1024;

// True when the rest of `file`, read from its start, is exactly `size` bytes equal to `expected`.
bool ReadsExactly(HANDLE file, const void* expected, DWORD size) {
    const auto buffer = std::make_unique<char[]>(kCompareChunkSize);
    const auto* next = static_cast<const char*>(expected);
    DWORD left = size;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file, buffer.get(), kCompareChunkSize, &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            return left == 0;
        }
        if (read > left || std::memcmp(buffer.get(), next, read) != 0) {
            return false;
        }
        next += read;
        left -= read;
    }
}

// True when `folder` holds, beside the payload, a file that Windows would load or run as code.
bool HoldsForeignExecutable(const char* folder) {
    char pattern[MAX_PATH];
    if (!BuildFilePath(folder, "*", pattern)) {
        return true;
    }
    WIN32_FIND_DATAA found;
    const FindHandle find(::FindFirstFileA(pattern, &found));
    if (!find) {
        // The folder holds at least the payload, so an empty listing is no listing at all.
        return true;
    }
    do {
        const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!directory && IsExecutableContent(found.cFileName) &&
            !IsPayloadFileName(found.cFileName)) {
            return true;
        }
    } while (::FindNextFileA(find.Get(), &found));
    return ::GetLastError() != ERROR_NO_MORE_FILES;
}

} // namespace

bool PayloadHold::Acquire(const char* folder) {
    Release();
    // Held without delete sharing, the folder can be neither renamed nor replaced by a link.
    m_folder.Reset(::CreateFileA(
        folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    bool held = m_folder && ::GetFileInformationByHandle(m_folder.Get(), &info) &&
                IsPlainEntry(info.dwFileAttributes, true);
    for (std::size_t i = 0; held && i < kUtilityFiles.size(); ++i) {
        held = HoldFile(folder, kUtilityFiles[i], m_files[i]);
    }
    held = held && HoldFile(folder, kBiosImage, m_files.back()) && !HoldsForeignExecutable(folder);
    if (!held) {
        Release();
    }
    return held;
}

bool PayloadHold::HoldFile(const char* folder, const PayloadFile& file, KernelHandle& held) {
    char path[MAX_PATH];
    const PayloadResource resource(file.id);
    if (!BuildFilePath(folder, file.name, path) || !resource.Found()) {
        return false;
    }
    // Shared for reading only: the utility can read and load it, nobody can change it.
    held.Reset(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    return held && ::GetFileInformationByHandle(held.Get(), &info) &&
           IsPlainEntry(info.dwFileAttributes, false) && info.nFileSizeHigh == 0 &&
           info.nFileSizeLow == resource.Size() &&
           ReadsExactly(held.Get(), resource.Data(), resource.Size());
}

void PayloadHold::Release() {
    for (KernelHandle& file : m_files) {
        file.Reset();
    }
    m_folder.Reset();
}

} // namespace payload
