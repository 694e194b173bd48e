#include "window_survey.h"

#include <algorithm>

bool WindowState::SameLookAs(const WindowState& other) const {
    return className == other.className && title == other.title && EqualRect(&rect, &other.rect) &&
           style == other.style && exStyle == other.exStyle && visible == other.visible;
}

std::wstring StoredWindowText(HWND hwnd) {
    wchar_t buffer[4096] = {};
    const int length = InternalGetWindowText(hwnd, buffer, static_cast<int>(std::size(buffer)));
    return std::wstring(buffer, static_cast<size_t>(std::max(length, 0)));
}

namespace {

struct SurveyRequest {
    const std::vector<DWORD>* processIds;
    std::vector<WindowState>* found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
    const auto* request = reinterpret_cast<const SurveyRequest*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    const auto& wanted = *request->processIds;
    if (std::find(wanted.begin(), wanted.end(), processId) == wanted.end()) {
        return TRUE;
    }
    WindowState state;
    state.hwnd = hwnd;
    state.processId = processId;
    wchar_t className[256] = {};
    GetClassNameW(hwnd, className, static_cast<int>(std::size(className)));
    state.className = className;
    state.title = StoredWindowText(hwnd);
    GetWindowRect(hwnd, &state.rect);
    state.style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    state.exStyle = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE));
    state.visible = IsWindowVisible(hwnd) != FALSE;
    request->found->push_back(state);
    return TRUE;
}

BOOL CALLBACK CollectOwner(HWND hwnd, LPARAM param) {
    auto* owners = reinterpret_cast<std::vector<DWORD>*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    if (std::find(owners->begin(), owners->end(), processId) == owners->end()) {
        owners->push_back(processId);
    }
    return TRUE;
}

} // namespace

std::vector<DWORD> TopLevelWindowOwners() {
    std::vector<DWORD> owners;
    EnumWindows(CollectOwner, reinterpret_cast<LPARAM>(&owners));
    return owners;
}

std::vector<WindowState> SurveyTopLevelWindows(const std::vector<DWORD>& processIds) {
    std::vector<WindowState> found;
    SurveyRequest request{&processIds, &found};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&request));
    return found;
}
