// Recognising a message box among a program's windows, reading it, and pressing its buttons.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

struct MessageBoxContent {
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons; // visible push buttons, by dialog id (IDOK, IDYES, ...)
    int defaultButton = 0;    // 0 when no button has the default style
    bool hasIcon = false;
};

// A visible "#32770" window with the message text control (id 0xFFFF) is a message box; the
// program's own status window is a "#32770" too, but without controls.
std::optional<MessageBoxContent> ReadMessageBox(HWND hwnd);

// Posts BM_CLICK to the box's button; false if the button is missing.
bool PressMessageBoxButton(HWND box, int buttonId);

// "OK", "YES", ... for the dialog ids a message box can hold; the number otherwise.
std::string ButtonName(int buttonId);
