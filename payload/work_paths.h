// Names and path building of the work folder, free of any platform header so that the bounds can
// be checked on the host too. Every path lives in a fixed buffer of kPathBufferSize bytes.
#pragma once

#include "payload_names.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace payload {

// MAX_PATH, the terminating zero included.
constexpr std::size_t kPathBufferSize = 260;

constexpr char kWorkFolderSuffix[] = "\\BIOSUPDATE";
constexpr std::size_t kWorkFolderSuffixLength = sizeof(kWorkFolderSuffix) - 1;

// The longest name of the work folder's files, with its separator, must still fit behind the work
// folder in one buffer.
constexpr std::size_t kLongestFileNameLength =
    std::max({sizeof IDR_FILE_SWINFLASH_NAME, sizeof IDR_FILE_MFC42_NAME,
              sizeof IDR_FILE_MSVCP60_NAME, sizeof IDR_FILE_MSVCRT_NAME,
              sizeof IDR_FILE_PHLASH_INI_NAME, sizeof IDR_FILE_PHLASHLC_NAME,
              sizeof IDR_FILE_PHLASH9X_NAME, sizeof IDR_FILE_PHLASHNT_NAME,
              sizeof IDR_FILE_BIOS_IMAGE_NAME, sizeof IDR_FILE_HELP_INDEX_NAME,
              sizeof BIOSUPDATE_BACKUP_NAME, sizeof BIOSUPDATE_UTILITY_TEXT_NAME}) -
    1;
constexpr std::size_t kMaxWorkFolderLength = kPathBufferSize - 1 - 1 - kLongestFileNameLength;
constexpr std::size_t kMaxProgramFilesLength = kMaxWorkFolderLength - kWorkFolderSuffixLength;
static_assert(kMaxWorkFolderLength == 245 && kMaxProgramFilesLength == 234);

struct PayloadFile {
    unsigned id;
    const char* name;
};

// The flash utility's files, in the order in which they are written.
extern const std::array<PayloadFile, 8> kUtilityFiles;

// Written separately, after the running BIOS version has been read.
extern const PayloadFile kBiosImage;

// What the clean-up deletes, in this order, before it removes the folder itself. Two of the names
// are never written by this program: the flash utility may leave them behind.
extern const std::array<const char*, 11> kCleanUpFiles;

// The flash utility's backup of the old BIOS; only the end of a run deletes it.
constexpr char kBackupFileName[] = BIOSUPDATE_BACKUP_NAME;

// True for a file name that Windows would load or run as code: an extension such as ".dll" or
// ".exe", in any letter case. A planted file of that kind beside the flash utility would run with
// the utility's rights.
bool IsExecutableContent(std::string_view name);

// True when `name` is, in any letter case, one of the files the program writes into the work
// folder: the utility's eight and the image.
bool IsPayloadFileName(std::string_view name);

// Appends "\BIOSUPDATE" to the Program Files path held in `buffer` (zero-terminated within `size`
// bytes). Refuses a Program Files path longer than kMaxProgramFilesLength, a missing terminator
// or a result that does not fit `size`: then returns false and leaves `buffer` all zeros.
bool AppendWorkFolder(char* buffer, std::size_t size);

// Builds "<folder>\<name>" into `buffer` of `size` bytes, zero-filled behind the path. Refuses a
// path that does not fit, and null arguments: then returns false and leaves `buffer` all zeros
// (when it is not null). `folder` may be `buffer` itself.
bool BuildFilePath(const char* folder, const char* name, char* buffer, std::size_t size);

// The same, for the fixed path buffers of this program.
template <std::size_t Size>
bool BuildFilePath(const char* folder, const char* name, char (&buffer)[Size]) {
    static_assert(Size == kPathBufferSize, "paths are built in buffers of kPathBufferSize bytes");
    return BuildFilePath(folder, name, buffer, Size);
}

} // namespace payload
