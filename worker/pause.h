// The worker's pauses between its status steps. The program's own definition sleeps; a test
// program links a definition of its own in its place.
#ifndef BIOSUPDATE_WORKER_PAUSE_H
#define BIOSUPDATE_WORKER_PAUSE_H

#include <windows.h>

void PauseWorker(DWORD milliseconds);

#endif
