// Modal dialogs from a template, run by a message loop that ends on WM_QUIT.
#pragma once

#include <windows.h>

#include "afx_wnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);

    // Creates the dialog from its template in the resource module, runs the loop until WM_QUIT,
    // destroys the window and returns the quit code (-1 when the dialog cannot be created).
    virtual INT_PTR DoModal();
    // Answers WM_INITDIALOG; TRUE lets the system set the focus.
    virtual BOOL OnInitDialog();
    // Gives the dialog manager its keyboard messages.
    BOOL PreTranslateMessage(MSG* msg) override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK AfxCbtHookProc(int code, WPARAM wParam, LPARAM lParam);
    int RunModalLoop();
};
