// Timers and private messages of the status window, shared with the update worker.
#pragma once

#include <windows.h>

// One-shot timer armed at the end of the window's initialisation; starts the update.
constexpr UINT_PTR IDT_START = 2048;
// Animation timer: advances the progress counter and repaints.
constexpr UINT_PTR IDT_ANIMATE = 2053;
// Armed by the worker on the paths that do not flash: cleans up and quits.
constexpr UINT_PTR IDT_EXIT = 3935;

constexpr UINT IDT_START_INTERVAL_MS = 500;
constexpr UINT IDT_ANIMATE_INTERVAL_MS = 100;
constexpr UINT IDT_EXIT_INTERVAL_MS = 3000;

// Posted by the worker at the end of every path (wParam 0, lParam 0).
constexpr UINT WM_UPDATE_FINISH = 2054;
// Posted by the window to itself to end its modal loop (wParam 0, lParam 0).
constexpr UINT WM_UPDATE_QUIT = 2055;
