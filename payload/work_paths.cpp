#include "payload/work_paths.h"

#include "payload_names.h"
#include "res/resource.h"

#include <algorithm>
#include <cctype>
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

// What the loader maps or the system starts as code: programs, libraries, drivers, controls and
// control-panel items.
constexpr std::array<std::string_view, 7> kExecutableExtensions = {".dll", ".exe", ".sys", ".vxd",
                                                                   ".drv", ".ocx", ".cpl"};

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

bool IsExecutableContent(std::string_view name) {
    // Windows ignores trailing dots and spaces, so "x.dll." loads as "x.dll".
    const std::size_t end = name.find_last_not_of(". ");
    name = end == std::string_view::npos ? std::string_view() : name.substr(0, end + 1);
    return std::any_of(kExecutableExtensions.begin(), kExecutableExtensions.end(),
                       [name](std::string_view extension) {
                           return name.size() > extension.size() &&
                                  EqualIgnoringCase(name.substr(name.size() - extension.size()),
                                                    extension);
                       });
}

bool IsPayloadFileName(std::string_view name) {
    return EqualIgnoringCase(name, kBiosImage.name) ||
           std::any_of(kUtilityFiles.begin(), kUtilityFiles.end(), [name](const PayloadFile& file) {
               return EqualIgnoringCase(name, file.name);
           });
}

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
