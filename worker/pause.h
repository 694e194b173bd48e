// The pauses of an update run (the worker's between its status steps, and the window's before its
// first text). The program's own definition sleeps; a test program links a definition of its own
// in its place.
#pragma once

#include <windows.h>

void PauseWorker(DWORD milliseconds);
