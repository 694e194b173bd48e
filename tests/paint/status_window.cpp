#include "status_window.h"

#include "res/resource.h"

#include <stdexcept>

namespace painttest {

namespace {

// The window's own handlers come from its message map; the dialog procedure beneath stays
// passive, as the framework's is.
INT_PTR CALLBACK PassiveDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

} // namespace

int PumpMessages() {
    // Bounded: a window that never validates itself would be handed WM_PAINT for ever.
    constexpr int kMaxMessages = 1000;
    int handled = 0;
    MSG message;
    while (handled < kMaxMessages && ::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
        ++handled;
    }
    return handled;
}

StatusWindow::StatusWindow() {
    m_window =
        ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_UPDATE_DIALOG),
                             nullptr, &PassiveDialogProc, 0);
    if (m_window == nullptr || !m_dialog.SubclassWindow(m_window)) {
        if (m_window != nullptr) {
            ::DestroyWindow(m_window);
        }
        throw std::runtime_error("cannot create the status window");
    }
    ::SetWindowPos(m_window, HWND_TOPMOST, 0, 0, ::GetSystemMetrics(SM_CXSCREEN),
                   ::GetSystemMetrics(SM_CYSCREEN), SWP_SHOWWINDOW);
    PumpMessages();
}

StatusWindow::~StatusWindow() {
    ::DestroyWindow(m_window);
    PumpMessages();
}

void StatusWindow::Show(int progress, const std::string& status, bool erase) {
    m_dialog.m_nProgress = progress;
    m_dialog.SetStatus(CString(status.c_str(), static_cast<int>(status.size())));
    ::InvalidateRect(m_window, nullptr, erase ? TRUE : FALSE);
    ::UpdateWindow(m_window);
    PumpMessages();
    ::GdiFlush();
}

} // namespace painttest
