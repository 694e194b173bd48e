// The flash utility's executable path and command line, built from the work folder and the
// upper-cased image file name. The executable's path is quoted as the first token, so that a
// Program Files folder with a space in it cannot make Windows start "C:\Program.exe" instead.
#pragma once

#include "payload_names.h"

#include <cstddef>

namespace worker {

// The longest work folder the flash accepts: without the quotes, the line then has at most 254
// characters with the longest image name the package accepts.
constexpr std::size_t kMaxFlashWorkFolderLength = 189;
constexpr std::size_t kMaxImageNameLength = 12;
static_assert(sizeof IDR_FILE_BIOS_IMAGE_NAME - 1 <= kMaxImageNameLength,
              "the package's image name must fit the flash's command line");
// The utility's switches, between the executable and the image's name.
constexpr char kFlashSwitches[] = " /BU=" BIOSUPDATE_BACKUP_NAME " /C /MFG /P /S /V /mode=2 ";

// Room for "<folder>\SWinFlash.exe" with the longest folder accepted.
constexpr std::size_t kFlashExecutablePathSize =
    kMaxFlashWorkFolderLength + 1 + (sizeof IDR_FILE_SWINFLASH_NAME - 1) + 1;
// Room for the longest line accepted: the quoted executable path, the switches, the image name.
constexpr std::size_t kFlashCommandLineSize =
    1 + (kFlashExecutablePathSize - 1) + 1 + (sizeof kFlashSwitches - 1) + kMaxImageNameLength + 1;
static_assert(kFlashCommandLineSize == 257 && kFlashExecutablePathSize == 204);

// Writes "<folder>\SWinFlash.exe" into buffer. Refuses (false, buffer emptied) a folder that
// would not fit the buffer or that holds a quotation mark; never writes past size bytes.
bool FormatFlashExecutablePath(const char* workFolder, char* buffer, std::size_t size);

// Writes "\"<folder>\SWinFlash.exe\" /BU=BIOS.bak /C /MFG /P /S /V /mode=2 <image>" into buffer,
// with the same refusals as FormatFlashExecutablePath and for a line that does not fit.
bool FormatFlashCommandLine(const char* workFolder, const char* imageName, char* buffer,
                            std::size_t size);

} // namespace worker
