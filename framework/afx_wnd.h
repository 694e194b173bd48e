// Windows and the window procedure that routes their messages to C++ objects.
#pragma once

#include <windows.h>

#include "afx_gdi.h"
#include "afx_object.h"

// The 16-bit control-colour message; the message table uses it for the whole family.
#ifndef WM_CTLCOLOR
#define WM_CTLCOLOR 0x0019
#endif

struct CPoint : POINT {
    CPoint() : POINT{0, 0} {}
    CPoint(int xValue, int yValue) : POINT{xValue, yValue} {}
    // The coordinates packed in a mouse message's lParam.
    explicit CPoint(LPARAM packed);
};

class CWnd : public CCmdTarget {
public:
    // Markers for SetWindowPos' insertAfter.
    static const CWnd wndTop, wndBottom, wndTopMost, wndNoTopMost;

    CWnd() = default;
    explicit CWnd(HWND hwnd) : m_hWnd(hwnd) {}
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    // Leaves the window itself alone: whoever created it destroys it.
    ~CWnd() override;

    // The object attached to `hwnd` by SubclassWindow, or null.
    static CWnd* FromHandlePermanent(HWND hwnd);

    // Routes the window's messages to this object from now on.
    BOOL SubclassWindow(HWND hwnd);
    // Gives the window back its previous procedure and detaches it.
    HWND UnsubclassWindow();

    // The message table first, then DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Sees a message of the modal loop before it is dispatched; TRUE when it has been handled.
    virtual BOOL PreTranslateMessage(MSG* msg);
    // The current message to the default procedure.
    LRESULT Default();
    // The procedure the window had before it was subclassed (the dialog procedure for a dialog).
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    HWND GetSafeHwnd() const { return m_hWnd; }
    void SetWindowText(const char* text);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    // Centres on the owner (or `alternateOwner`), else in the monitor's work area, and keeps the
    // window inside that work area.
    void CenterWindow(CWnd* alternateOwner = nullptr);
    int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc);
    BOOL KillTimer(UINT_PTR id);
    void Invalidate(BOOL erase = TRUE);
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE);
    BOOL IsIconic() const;
    void GetClientRect(RECT* rect) const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    HICON SetIcon(HICON icon, BOOL bigIcon);

    // Default handlers of the message table entries below; each passes the message on (Default).
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnLButtonDown(UINT nFlags, CPoint point);
    void OnTimer(UINT_PTR nIDEvent);
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    void OnEndSession(BOOL bEnding);
    BOOL OnQueryEndSession();

    HWND m_hWnd = nullptr;

protected:
    // The one window procedure of subclassed windows.
    static LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC m_pfnSuper = nullptr;
};

// The message being handled on this thread by a subclassed window, or null outside one.
const MSG* AfxGetCurrentMessage();

namespace afx_detail {

// The record of a message that a window or dialog procedure was handed, with the time and cursor
// position of the message being handled.
MSG MessageRecord(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The arguments of OnCtlColor, decoded from whichever member of the control-colour family is
// current. A control without its own object gets a temporary one.
class CtlColorArguments {
public:
    CtlColorArguments(WPARAM wParam, LPARAM lParam);
    CtlColorArguments(const CtlColorArguments&) = delete;
    CtlColorArguments& operator=(const CtlColorArguments&) = delete;

    CDC dc;
    CWnd temporaryControl;
    CWnd* control;
    UINT type;
};

} // namespace afx_detail

#define ON_WM_PAINT()                                                                              \
    {WM_PAINT, 0, [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {                              \
         static_cast<ThisClass*>(target)->OnPaint();                                               \
         return 0;                                                                                 \
     }},

#define ON_WM_QUERYDRAGICON()                                                                      \
    {WM_QUERYDRAGICON, 0, [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {                      \
         return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(target)->OnQueryDragIcon());     \
     }},

#define ON_WM_LBUTTONDOWN()                                                                        \
    {WM_LBUTTONDOWN, 0, [](CCmdTarget* target, WPARAM wParam, LPARAM lParam) -> LRESULT {          \
         static_cast<ThisClass*>(target)->OnLButtonDown(static_cast<UINT>(wParam),                 \
                                                        CPoint(lParam));                           \
         return 0;                                                                                 \
     }},

#define ON_WM_TIMER()                                                                              \
    {WM_TIMER, 0, [](CCmdTarget* target, WPARAM wParam, LPARAM) -> LRESULT {                       \
         static_cast<ThisClass*>(target)->OnTimer(static_cast<UINT_PTR>(wParam));                  \
         return 0;                                                                                 \
     }},

// One entry for the whole family of control-colour messages.
#define ON_WM_CTLCOLOR()                                                                           \
    {WM_CTLCOLOR, 0, [](CCmdTarget* target, WPARAM wParam, LPARAM lParam) -> LRESULT {             \
         afx_detail::CtlColorArguments arguments(wParam, lParam);                                  \
         return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(target)->OnCtlColor(             \
             &arguments.dc, arguments.control, arguments.type));                                   \
     }},

#define ON_WM_ENDSESSION()                                                                         \
    {WM_ENDSESSION, 0, [](CCmdTarget* target, WPARAM wParam, LPARAM) -> LRESULT {                  \
         static_cast<ThisClass*>(target)->OnEndSession(wParam != 0 ? TRUE : FALSE);                \
         return 0;                                                                                 \
     }},

#define ON_WM_QUERYENDSESSION()                                                                    \
    {WM_QUERYENDSESSION, 0, [](CCmdTarget* target, WPARAM, LPARAM) -> LRESULT {                    \
         return static_cast<LRESULT>(static_cast<ThisClass*>(target)->OnQueryEndSession());        \
     }},
