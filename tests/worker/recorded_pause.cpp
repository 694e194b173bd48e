// The test programs' definition of the worker's pause: logged, not slept, so that a run takes
// milliseconds instead of up to 17 seconds.
#include "event_log.h"

#include "worker/pause.h"

void PauseWorker(DWORD milliseconds) {
    worker_test::LogEvent("pause " + std::to_string(milliseconds));
}
