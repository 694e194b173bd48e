// The stand-in flash utility's own time: started from the freshly written work folder as the
// worker starts it (its switches, that folder as the current one, no window) and waited for.
#include "probe.h"

#include "afx_handle.h"
#include "payload/work_folder.h"
#include "worker/flash_command_line.h"

#include <string>

namespace perf {

void RunStub(Results& results, int launches) {
    payload::ExtractUtilityFiles();
    CString image;
    payload::ExtractBiosImage(image);
    image.MakeUpper();
    char folder[MAX_PATH];
    char utility[worker::kFlashExecutablePathSize];
    char line[worker::kFlashCommandLineSize];
    // The program's own path and line, quoted as the worker quotes them.
    if (!payload::GetWorkFolderPath(folder) ||
        !worker::FormatFlashExecutablePath(folder, utility, sizeof utility) ||
        !worker::FormatFlashCommandLine(folder, image.GetString(), line, sizeof line)) {
        payload::FinishUpdateRun();
        return;
    }
    std::vector<double> samples;
    for (int launch = 0; launch < launches; ++launch) {
        std::string writable = line;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        const Stopwatch clock;
        if (!::CreateProcessA(utility, &writable[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                              nullptr, folder, &startup, &started)) {
            break;
        }
        const KernelHandle process(started.hProcess);
        const KernelHandle thread(started.hThread);
        ::WaitForSingleObject(process.Get(), INFINITE);
        samples.push_back(clock.ElapsedMs());
    }
    payload::FinishUpdateRun();
    results.Samples("stub_ms", samples);
}

} // namespace perf
