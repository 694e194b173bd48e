#include "afx_wnd.h"

#include <algorithm>

#include "afx_app.h"
#include "afx_boundary.h"

namespace {

// The window property that leads from a subclassed window to its object.
const char kObjectProperty[] = "AfxWndObject";

thread_local const MSG* t_currentMessage = nullptr;

// Makes `message` the current one while a window handles it; nested messages restore the outer.
class CurrentMessageScope {
public:
    explicit CurrentMessageScope(const MSG* message) : m_outer(t_currentMessage) {
        t_currentMessage = message;
    }
    ~CurrentMessageScope() { t_currentMessage = m_outer; }
    CurrentMessageScope(const CurrentMessageScope&) = delete;
    CurrentMessageScope& operator=(const CurrentMessageScope&) = delete;

private:
    const MSG* m_outer;
};

} // namespace

CPoint::CPoint(LPARAM packed)
    : POINT{static_cast<short>(LOWORD(packed)), static_cast<short>(HIWORD(packed))} {}

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

CWnd::~CWnd() {
    // A window that outlives its object must not reach it any more.
    if (m_pfnSuper != nullptr) {
        UnsubclassWindow();
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
    return hwnd != nullptr ? static_cast<CWnd*>(::GetPropA(hwnd, kObjectProperty)) : nullptr;
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
    if (hwnd == nullptr || m_pfnSuper != nullptr || FromHandlePermanent(hwnd) != nullptr ||
        !::SetPropA(hwnd, kObjectProperty, this)) {
        return FALSE;
    }
    m_hWnd = hwnd;
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc)));
    if (m_pfnSuper == nullptr) {
        ::RemovePropA(hwnd, kObjectProperty);
        m_hWnd = nullptr;
        return FALSE;
    }
    return TRUE;
}

HWND CWnd::UnsubclassWindow() {
    const HWND hwnd = m_hWnd;
    if (hwnd != nullptr && m_pfnSuper != nullptr) {
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        ::RemovePropA(hwnd, kObjectProperty);
    }
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
    return hwnd;
}

LRESULT CALLBACK CWnd::AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* const wnd = FromHandlePermanent(hwnd);
    if (wnd == nullptr) {
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }
    const MSG current = afx_detail::MessageRecord(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    {
        CurrentMessageScope scope(&current);
        afx_detail::RunGuarded(&current,
                               [&] { result = wnd->WindowProc(message, wParam, lParam); });
    }
    if (message == WM_NCDESTROY) {
        wnd->UnsubclassWindow();
    }
    return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, wParam)) {
        return entry->handler(this, wParam, lParam);
    }
    return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

LRESULT CWnd::Default() {
    const MSG* message = t_currentMessage;
    if (message == nullptr || message->hwnd != m_hWnd) {
        return 0;
    }
    return DefWindowProc(message->message, message->wParam, message->lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper != nullptr) {
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    }
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

void CWnd::SetWindowText(const char* text) {
    ::SetWindowTextA(m_hWnd, text);
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT flags) {
    const DWORD style = static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_EXSTYLE));
    const DWORD modified = (style & ~remove) | add;
    if (modified == style) {
        return FALSE;
    }
    ::SetWindowLongA(m_hWnd, GWL_EXSTYLE, static_cast<LONG>(modified));
    if (flags != 0) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    }
    return TRUE;
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, insertAfter != nullptr ? insertAfter->m_hWnd : nullptr, x, y, cx,
                          cy, flags);
}

void CWnd::CenterWindow(CWnd* alternateOwner) {
    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;

    // A child is centred in its parent's client area (its own coordinates), any other window on
    // its owner or in the work area of its monitor.
    RECT area{};
    RECT centreOn{};
    if ((::GetWindowLongA(m_hWnd, GWL_STYLE) & WS_CHILD) != 0) {
        ::GetClientRect(::GetParent(m_hWnd), &area);
        centreOn = area;
    } else {
        const HWND owner =
            alternateOwner != nullptr ? alternateOwner->m_hWnd : ::GetWindow(m_hWnd, GW_OWNER);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        ::GetMonitorInfoA(
            ::MonitorFromWindow(owner != nullptr ? owner : m_hWnd, MONITOR_DEFAULTTOPRIMARY),
            &monitor);
        area = monitor.rcWork;
        centreOn = area;
        if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
            ::GetWindowRect(owner, &centreOn);
        }
    }

    int x = (centreOn.left + centreOn.right) / 2 - width / 2;
    int y = (centreOn.top + centreOn.bottom) / 2 - height / 2;
    // Keep the window inside the area, its top-left corner first when it does not fit.
    x = std::max(std::min(x, static_cast<int>(area.right) - width), static_cast<int>(area.left));
    y = std::max(std::min(y, static_cast<int>(area.bottom) - height), static_cast<int>(area.top));
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CWnd::MessageBox(const char* text, const char* caption, UINT type) {
    return ::MessageBoxA(m_hWnd, text, caption != nullptr ? caption : AfxGetAppName(), type);
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) {
    return ::SetTimer(m_hWnd, id, elapse, proc);
}

BOOL CWnd::KillTimer(UINT_PTR id) {
    return ::KillTimer(m_hWnd, id);
}

void CWnd::Invalidate(BOOL erase) {
    ::InvalidateRect(m_hWnd, nullptr, erase);
}

void CWnd::InvalidateRect(const RECT* rect, BOOL erase) {
    ::InvalidateRect(m_hWnd, rect, erase);
}

BOOL CWnd::IsIconic() const {
    return ::IsIconic(m_hWnd);
}

void CWnd::GetClientRect(RECT* rect) const {
    ::GetClientRect(m_hWnd, rect);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

void CWnd::OnPaint() {
    Default();
}

HCURSOR CWnd::OnQueryDragIcon() {
    return reinterpret_cast<HCURSOR>(Default());
}

void CWnd::OnLButtonDown(UINT, CPoint) {
    Default();
}

void CWnd::OnTimer(UINT_PTR) {
    Default();
}

HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT) {
    return reinterpret_cast<HBRUSH>(Default());
}

void CWnd::OnEndSession(BOOL) {
    Default();
}

BOOL CWnd::OnQueryEndSession() {
    return static_cast<BOOL>(Default());
}

const MSG* AfxGetCurrentMessage() {
    return t_currentMessage;
}

namespace afx_detail {

MSG MessageRecord(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG record{};
    record.hwnd = hwnd;
    record.message = message;
    record.wParam = wParam;
    record.lParam = lParam;
    record.time = static_cast<DWORD>(::GetMessageTime());
    const DWORD position = static_cast<DWORD>(::GetMessagePos());
    record.pt = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    return record;
}

CtlColorArguments::CtlColorArguments(WPARAM wParam, LPARAM lParam)
    : dc(reinterpret_cast<HDC>(wParam)), control(nullptr), type(CTLCOLOR_MSGBOX) {
    const MSG* message = AfxGetCurrentMessage();
    if (message == nullptr || message->message < WM_CTLCOLORMSGBOX ||
        message->message > WM_CTLCOLORSTATIC) {
        // The 16-bit message packs the colour type into the high word and names no control.
        type = HIWORD(lParam);
        return;
    }
    type = message->message - WM_CTLCOLORMSGBOX;
    const HWND hwnd = reinterpret_cast<HWND>(lParam);
    control = CWnd::FromHandlePermanent(hwnd);
    if (control == nullptr) {
        temporaryControl.m_hWnd = hwnd;
        control = &temporaryControl;
    }
}

} // namespace afx_detail
