// The flash utility's executable path and command line, built from the work folder and the
// upper-cased image file name. The executable's path is quoted as the first token, so that a
// Program Files folder with a space in it cannot make Windows start "C:\Program.exe" instead.
#pragma once

#include <cstddef>

namespace worker {

// Room for the longest line accepted: a 189-character work folder, the quoted executable name,
// the switches and the 12-character image name make 256 characters, plus the terminating NUL.
constexpr std::size_t kFlashCommandLineSize = 257;
// Room for "<folder>\SWinFlash.exe" with the same 189-character folder.
constexpr std::size_t kFlashExecutablePathSize = 204;

// Writes "<folder>\SWinFlash.exe" into buffer. Refuses (false, buffer emptied) a folder that
// would not fit the buffer or that holds a quotation mark; never writes past size bytes.
bool FormatFlashExecutablePath(const char* workFolder, char* buffer, std::size_t size);

// Writes "\"<folder>\SWinFlash.exe\" /BU=BIOS.bak /C /MFG /P /S /V /mode=2 <image>" into buffer,
// with the same refusals as FormatFlashExecutablePath and for a line that does not fit.
bool FormatFlashCommandLine(const char* workFolder, const char* imageName, char* buffer,
                            std::size_t size);

} // namespace worker
