#include "worker/flash_command_line.h"

#include <cstdio>
#include <cstring>

namespace worker {

namespace {

// A quotation mark inside the folder would end the quoted executable path early.
bool IsQuotable(const char* workFolder) {
    return std::strchr(workFolder, '"') == nullptr;
}

// snprintf's result is the length it wanted; anything that did not fit whole is refused.
bool Fits(int wanted, std::size_t size) {
    return wanted >= 0 && static_cast<std::size_t>(wanted) < size;
}

bool Refuse(char* buffer, std::size_t size) {
    if (size > 0) {
        buffer[0] = '\0';
    }
    return false;
}

} // namespace

bool FormatFlashExecutablePath(const char* workFolder, char* buffer, std::size_t size) {
    if (!IsQuotable(workFolder)) {
        return Refuse(buffer, size);
    }
    const int wanted = std::snprintf(buffer, size, "%s\\%s", workFolder, IDR_FILE_SWINFLASH_NAME);
    return Fits(wanted, size) || Refuse(buffer, size);
}

bool FormatFlashCommandLine(const char* workFolder, const char* imageName, char* buffer,
                            std::size_t size) {
    if (!IsQuotable(workFolder)) {
        return Refuse(buffer, size);
    }
    const int wanted = std::snprintf(buffer, size, "\"%s\\%s\"%s%s", workFolder,
                                     IDR_FILE_SWINFLASH_NAME, kFlashSwitches, imageName);
    return Fits(wanted, size) || Refuse(buffer, size);
}

} // namespace worker
