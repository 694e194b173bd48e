// Feeds arbitrary text to the platform-free routines that read outside input into fixed buffers.
// The buffers are heap blocks of exactly the size the program uses, so any access past them is an
// AddressSanitizer report; the checks are properties that hold for every input.
#include "app/start_checks.h"
#include "payload/work_paths.h"
#include "worker/flash_command_line.h"
#include "worker/version_decision.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

// The input, split at its first NUL, gives two texts: a command line, running version, work
// folder or Program Files path, and an image or file name.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string first = input.c_str();
    const std::string second = first.size() < size ? input.substr(first.size() + 1).c_str() : "";

    Check(IsCleanUpRequest(first.c_str()) == (ReadCommandLineNumber(first.c_str()) == 1));
    worker::DecideUpdate(second, second, first);

    std::vector<char> line(worker::kFlashCommandLineSize);
    if (worker::FormatFlashCommandLine(first.c_str(), second.c_str(), line.data(), line.size())) {
        Check(line[0] == '"' && first.find('"') == std::string::npos);
    }
    // strlen past an unterminated buffer is itself a report.
    std::vector<char> folder(payload::kPathBufferSize);
    std::vector<char> file(payload::kPathBufferSize);
    first.copy(folder.data(), folder.size() - 1);
    if (payload::AppendWorkFolder(folder.data(), folder.size())) {
        Check(std::strlen(folder.data()) <= payload::kMaxWorkFolderLength);
        payload::BuildFilePath(folder.data(), second.c_str(), file.data(), file.size());
        Check(std::strlen(file.data()) < file.size());
    }
    return 0;
}
