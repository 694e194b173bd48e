// The top-level windows that belong to the watched processes, read without sending them any
// message, so a busy or sleeping program cannot stall the driver.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct WindowState {
    HWND hwnd = nullptr;
    DWORD processId = 0;
    std::wstring className;
    std::wstring title;
    RECT rect{};
    DWORD style = 0;
    DWORD exStyle = 0;
    bool visible = false;

    // Everything but the handle and the process, which identify the window.
    bool SameLookAs(const WindowState& other) const;
};

std::vector<WindowState> SurveyTopLevelWindows(const std::vector<DWORD>& processIds);

// The processes that own a top-level window, each once.
std::vector<DWORD> TopLevelWindowOwners();

// Text a window holds, read from the system's copy (InternalGetWindowText).
std::wstring StoredWindowText(HWND hwnd);
