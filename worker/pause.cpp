#include "worker/pause.h"

// Kept alone in its file so that a test program's definition replaces it at link time.
void PauseWorker(DWORD milliseconds) {
    ::Sleep(milliseconds);
}
