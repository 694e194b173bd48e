// Feeds arbitrary text to every platform-free routine that reads outside input or fills a fixed
// buffer. The buffers are heap blocks of exactly the size the program uses, so any write past
// them is an AddressSanitizer report.
#include "app/start_checks.h"
#include "payload/work_paths.h"
#include "ui/progress_geometry.h"
#include "worker/flash_command_line.h"
#include "worker/version_decision.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool IsTerminatedWithin(const char* buffer, std::size_t size) {
    return std::memchr(buffer, '\0', size) != nullptr;
}

void FuzzCommandLine(const std::string& text) {
    const std::optional<long> number = ReadCommandLineNumber(text.c_str());
    Check(IsCleanUpRequest(text.c_str()) == (number.has_value() && *number == 1));
    if (number) {
        Check(*number >= INT32_MIN && *number <= INT32_MAX);
    }
}

void FuzzDecision(const std::string& version, const std::string& image) {
    const worker::VersionDecision first = worker::DecideUpdate(image, image, version);
    Check(first == worker::DecideUpdate(image, image, version));
    if (worker::PlatformPrefix(version) != worker::PlatformPrefix(image)) {
        Check(first == worker::VersionDecision::CannotUpdate);
    }
}

void FuzzFlashCommandLine(const std::string& folder, const std::string& image) {
    auto line = std::make_unique<char[]>(worker::kFlashCommandLineSize);
    if (worker::FormatFlashCommandLine(folder.c_str(), image.c_str(), line.get(),
                                       worker::kFlashCommandLineSize)) {
        Check(IsTerminatedWithin(line.get(), worker::kFlashCommandLineSize));
        Check(line[0] == '"');
    }
    auto path = std::make_unique<char[]>(worker::kFlashExecutablePathSize);
    if (worker::FormatFlashExecutablePath(folder.c_str(), path.get(),
                                          worker::kFlashExecutablePathSize)) {
        Check(IsTerminatedWithin(path.get(), worker::kFlashExecutablePathSize));
    }
}

void FuzzWorkPaths(const std::string& programFiles, const std::string& name) {
    auto folder = std::make_unique<char[]>(payload::kPathBufferSize);
    std::memset(folder.get(), 0, payload::kPathBufferSize);
    std::strncpy(folder.get(), programFiles.c_str(), payload::kPathBufferSize - 1);
    if (payload::AppendWorkFolder(folder.get(), payload::kPathBufferSize)) {
        Check(std::strlen(folder.get()) <= payload::kMaxWorkFolderLength);
        auto file = std::make_unique<char[]>(payload::kPathBufferSize);
        if (payload::BuildFilePath(folder.get(), name.c_str(), file.get(),
                                   payload::kPathBufferSize)) {
            Check(IsTerminatedWithin(file.get(), payload::kPathBufferSize));
        }
    } else {
        Check(folder[0] == '\0');
    }
}

void FuzzGeometry(const std::uint8_t* data, std::size_t size) {
    std::int32_t values[3] = {};
    std::memcpy(values, data, size < sizeof values ? size : sizeof values);
    if (const auto block = ui::ProgressBlockCopy(values[0])) {
        Check(block->width >= 0);
        if (block->width > 0) {
            Check(block->destinationX >= 259 && block->destinationX + block->width - 1 <= 378);
            Check(block->sourceX >= 0 && block->sourceX + block->width <= ui::kBlockImageWidth);
        }
    }
    const int width = values[1] % 100000;
    const int height = values[2] % 100000;
    const ui::FramePosition frame = ui::FramePositionOnScreen(width, height);
    Check(frame.x == (width - ui::kFrameWidth) / 2 && frame.y == (height - ui::kFrameHeight) / 2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the routine; the rest, split at the first NUL, gives its two texts.
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = rest.find('\0');
    const std::string first = rest.substr(0, split);
    const std::string second = split == std::string::npos ? std::string() : rest.substr(split + 1);
    const std::string secondText = second.substr(0, second.find('\0'));
    switch (data[0] % 5) {
    case 0:
        FuzzCommandLine(first);
        break;
    case 1:
        FuzzDecision(first, secondText);
        break;
    case 2:
        FuzzFlashCommandLine(first, secondText);
        break;
    case 3:
        FuzzWorkPaths(first, secondText);
        break;
    default:
        FuzzGeometry(data + 1, size - 1);
        break;
    }
    return 0;
}
