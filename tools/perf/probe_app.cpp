// The benchmark program: "perf_probe.exe JOB RESULT-FILE COUNT" runs one job inside an application
// of the program's framework, with the program's code and resources linked in, and writes what it
// measured into RESULT-FILE. Jobs: payload, stub, paint.
#include "probe.h"

#include "afx.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class CProbeApp : public CWinApp {
public:
    BOOL InitInstance() override {
        // As the program does before its window exists.
        InitCommonControls();
        CWinApp::InitInstance();
        char job[32] = {};
        char path[MAX_PATH] = {};
        int count = 0;
        if (std::sscanf(m_lpCmdLine, "%31s %259s %d", job, path, &count) != 3 || count < 1) {
            return FALSE;
        }
        perf::Results results(path);
        if (!results.IsOpen()) {
            return FALSE;
        }
        const std::string name(job);
        if (name == "payload") {
            perf::RunPayload(results, count);
        } else if (name == "stub") {
            perf::RunStub(results, count);
        } else if (name == "paint") {
            // Ten thousand paints at least, the first `count` of them timed.
            perf::RunPaint(results, count, count > 10000 ? count : 10000);
        } else {
            return FALSE;
        }
        results.Value("done", 1);
        return FALSE;
    }
};

CProbeApp theApp;

} // namespace
