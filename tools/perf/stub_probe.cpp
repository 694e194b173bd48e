// The stand-in flash utility's own time: started from the freshly written work folder as the
// worker starts it (its switches, that folder as the current one, no window) and waited for.
#include "probe.h"

#include "payload/work_folder.h"

#include <string>

namespace perf {

void RunStub(Results& results, int launches) {
    payload::ExtractUtilityFiles();
    CString image;
    payload::ExtractBiosImage(image);
    image.MakeUpper();
    char folder[MAX_PATH];
    payload::GetWorkFolderPath(folder);
    const std::string utility = std::string(folder) + "\\SWinFlash.exe";
    const std::string line =
        utility + " /BU=BIOS.bak /C /MFG /P /S /V /mode=2 " + std::string(image.GetString());
    std::vector<double> samples;
    for (int launch = 0; launch < launches; ++launch) {
        std::string writable = line;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        const Stopwatch clock;
        if (!::CreateProcessA(utility.c_str(), &writable[0], nullptr, nullptr, FALSE,
                              CREATE_NO_WINDOW, nullptr, folder, &startup, &process)) {
            break;
        }
        ::WaitForSingleObject(process.hProcess, INFINITE);
        samples.push_back(clock.ElapsedMs());
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    payload::FinishUpdateRun();
    results.Samples("stub_ms", samples);
}

} // namespace perf
