#include "payload/work_paths.h"

#include "payload_names.h"
#include "res/resource.h"

#include <cstring>

namespace payload {

const std::array<PayloadFile, 8> kUtilityFiles = {{
    {IDR_FILE_SWINFLASH, IDR_FILE_SWINFLASH_NAME},
    {IDR_FILE_MFC42, IDR_FILE_MFC42_NAME},
    {IDR_FILE_MSVCP60, IDR_FILE_MSVCP60_NAME},
    {IDR_FILE_MSVCRT, IDR_FILE_MSVCRT_NAME},
    {IDR_FILE_PHLASH_INI, IDR_FILE_PHLASH_INI_NAME},
    {IDR_FILE_PHLASHLC, IDR_FILE_PHLASHLC_NAME},
    {IDR_FILE_PHLASH9X, IDR_FILE_PHLASH9X_NAME},
    {IDR_FILE_PHLASHNT, IDR_FILE_PHLASHNT_NAME},
}};

const PayloadFile kBiosImage = {IDR_FILE_BIOS_IMAGE, IDR_FILE_BIOS_IMAGE_NAME};

// The help index is never written, but the utility may leave an index of that name beside its
// files, and a text file of its own.
const std::array<const char*, 11> kCleanUpFiles = {
    IDR_FILE_SWINFLASH_NAME,      IDR_FILE_MFC42_NAME,      IDR_FILE_MSVCP60_NAME,
    IDR_FILE_MSVCRT_NAME,         IDR_FILE_PHLASH_INI_NAME, IDR_FILE_PHLASHLC_NAME,
    IDR_FILE_PHLASH9X_NAME,       IDR_FILE_PHLASHNT_NAME,   IDR_FILE_HELP_INDEX_NAME,
    BIOSUPDATE_UTILITY_TEXT_NAME, IDR_FILE_BIOS_IMAGE_NAME,
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
