#include "payload/work_paths.h"

#include "res/resource.h"

#include <cstring>

namespace payload {

const std::array<PayloadFile, 8> kUtilityFiles = {{
    {IDR_FILE_SWINFLASH, "SWinFlash.exe"},
    {IDR_FILE_MFC42, "mfc42.dll"},
    {IDR_FILE_MSVCP60, "msvcp60.dll"},
    {IDR_FILE_MSVCRT, "msvcrt.dll"},
    {IDR_FILE_PHLASH_INI, "PHLASH.INI"},
    {IDR_FILE_PHLASHLC, "PhlashLc.dll"},
    {IDR_FILE_PHLASH9X, "Phlash9X.vxd"},
    {IDR_FILE_PHLASHNT, "PhlashNT.sys"},
}};

const PayloadFile kBiosImage = {IDR_FILE_BIOS_IMAGE, "mirtsf13.imc"};

const std::array<const char*, 11> kCleanUpFiles = {
    "SWinFlash.exe", "mfc42.dll",    "msvcp60.dll",   "msvcrt.dll", "PHLASH.INI",   "PhlashLc.dll",
    "Phlash9X.vxd",  "PhlashNT.sys", "WINPHLASH.GID", "PHLASH.txt", "mirtsf13.imc",
};

namespace {

// Length of the zero-terminated text in the first `size` bytes, or `size` when there is no
// terminator there; never reads past them.
std::size_t BoundedLength(const char* text, std::size_t size) {
    const void* terminator = std::memchr(text, '\0', size);
    return terminator == nullptr
               ? size
               : static_cast<std::size_t>(static_cast<const char*>(terminator) - text);
}

} // namespace

bool AppendWorkFolder(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return false;
    }
    const std::size_t length = BoundedLength(buffer, size);
    const std::size_t total = length + kWorkFolderSuffixLength;
    if (length == size || length > kMaxProgramFilesLength || total >= size) {
        std::memset(buffer, 0, size);
        return false;
    }
    std::memcpy(buffer + length, kWorkFolderSuffix, kWorkFolderSuffixLength);
    std::memset(buffer + total, 0, size - total);
    return true;
}

bool BuildFilePath(const char* folder, const char* name, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return false;
    }
    if (folder == nullptr || name == nullptr) {
        std::memset(buffer, 0, size);
        return false;
    }
    const std::size_t folderLength = BoundedLength(folder, size);
    const std::size_t nameLength = BoundedLength(name, size);
    // Separator and terminator included; computed so that it cannot wrap.
    if (folderLength >= size || nameLength >= size - folderLength - 1) {
        std::memset(buffer, 0, size);
        return false;
    }
    const std::size_t total = folderLength + 1 + nameLength;
    std::memmove(buffer, folder, folderLength);
    buffer[folderLength] = '\\';
    std::memmove(buffer + folderLength + 1, name, nameLength);
    std::memset(buffer + total, 0, size - total);
    return true;
}

} // namespace payload
