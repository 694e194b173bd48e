#include "message_box.h"

#include "window_survey.h"

#include <iterator>

namespace {

constexpr int kMessageTextId = 0xFFFF;

struct NamedButton {
    int id;
    const char* name;
};

constexpr NamedButton kButtons[] = {
    {IDOK, "OK"},
    {IDCANCEL, "CANCEL"},
    {IDABORT, "ABORT"},
    {IDRETRY, "RETRY"},
    {IDIGNORE, "IGNORE"},
    {IDYES, "YES"},
    {IDNO, "NO"},
    {IDHELP, "HELP"},
    {IDTRYAGAIN, "TRYAGAIN"},
    {IDCONTINUE, "CONTINUE"},
};

bool IsClass(HWND hwnd, const wchar_t* name) {
    wchar_t className[64] = {};
    GetClassNameW(hwnd, className, static_cast<int>(std::size(className)));
    return lstrcmpiW(className, name) == 0;
}

// Wine's box always holds its icon control; a box without an icon leaves it empty.
BOOL CALLBACK FindShownIcon(HWND child, LPARAM param) {
    const auto style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
    if (!IsClass(child, L"Static") || (style & SS_TYPEMASK) != SS_ICON || !IsWindowVisible(child)) {
        return TRUE;
    }
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 500, &icon);
    if (icon != 0) {
        *reinterpret_cast<bool*>(param) = true;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::optional<MessageBoxContent> ReadMessageBox(HWND hwnd) {
    const HWND textControl = GetDlgItem(hwnd, kMessageTextId);
    if (!IsClass(hwnd, L"#32770") || !IsWindowVisible(hwnd) || textControl == nullptr) {
        return std::nullopt;
    }
    MessageBoxContent content;
    content.caption = StoredWindowText(hwnd);
    content.text = StoredWindowText(textControl);
    for (const NamedButton& button : kButtons) {
        const HWND control = GetDlgItem(hwnd, button.id);
        if (control == nullptr || !IsClass(control, L"Button") || !IsWindowVisible(control)) {
            continue;
        }
        content.buttons.push_back(button.id);
        const auto style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
        if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            content.defaultButton = button.id;
        }
    }
    EnumChildWindows(hwnd, FindShownIcon, reinterpret_cast<LPARAM>(&content.hasIcon));
    return content;
}

bool PressMessageBoxButton(HWND box, int buttonId) {
    const HWND button = GetDlgItem(box, buttonId);
    if (button == nullptr) {
        return false;
    }
    // Posted, so a program that is slow to respond cannot stall the driver's polling.
    return PostMessageW(button, BM_CLICK, 0, 0) != 0;
}

std::string ButtonName(int buttonId) {
    for (const NamedButton& button : kButtons) {
        if (button.id == buttonId) {
            return button.name;
        }
    }
    return std::to_string(buttonId);
}
