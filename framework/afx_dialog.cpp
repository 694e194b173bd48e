#include "afx_dialog.h"

#include "afx_app.h"
#include "afx_boundary.h"

namespace {

// The dialog whose window the creation hook on this thread subclasses next.
thread_local CDialog* t_dialogBeingCreated = nullptr;
thread_local HHOOK t_creationHook = nullptr;

// Installs the creation hook for one dialog and removes it on every way out of the window's
// creation; a dialog created from inside another's creation gets the outer hook back afterwards.
class CreationHookScope {
public:
    CreationHookScope(CDialog* dialog, HOOKPROC hook)
        : m_outerDialog(t_dialogBeingCreated), m_outerHook(t_creationHook) {
        t_dialogBeingCreated = dialog;
        t_creationHook = ::SetWindowsHookExA(WH_CBT, hook, nullptr, ::GetCurrentThreadId());
    }
    ~CreationHookScope() {
        if (t_creationHook != nullptr) {
            ::UnhookWindowsHookEx(t_creationHook);
        }
        t_creationHook = m_outerHook;
        t_dialogBeingCreated = m_outerDialog;
    }
    CreationHookScope(const CreationHookScope&) = delete;
    CreationHookScope& operator=(const CreationHookScope&) = delete;

    bool IsInstalled() const { return t_creationHook != nullptr; }

private:
    CDialog* m_outerDialog;
    HHOOK m_outerHook;
};

} // namespace

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

INT_PTR CDialog::DoModal() {
    const HINSTANCE resources = AfxGetResourceHandle();
    const HRSRC found = ::FindResourceA(resources, MAKEINTRESOURCEA(m_nIDTemplate), RT_DIALOG);
    const HGLOBAL loaded = found != nullptr ? ::LoadResource(resources, found) : nullptr;
    const auto* dialogTemplate =
        static_cast<const DLGTEMPLATE*>(loaded != nullptr ? ::LockResource(loaded) : nullptr);
    if (dialogTemplate == nullptr || m_hWnd != nullptr) {
        return -1;
    }

    const HWND parent = m_pParentWnd != nullptr ? m_pParentWnd->GetSafeHwnd() : nullptr;
    {
        // Subclassing from the creation hook routes WM_INITDIALOG, and every message before it,
        // through WindowProc.
        CreationHookScope hook(this, &CDialog::AfxCbtHookProc);
        if (!hook.IsInstalled()) {
            return -1;
        }
        ::CreateDialogIndirectParamA(resources, dialogTemplate, parent, &CDialog::AfxDlgProc,
                                     reinterpret_cast<LPARAM>(this));
    }
    if (m_hWnd == nullptr) {
        return -1;
    }

    const bool disableParent = parent != nullptr && ::IsWindowEnabled(parent);
    if (disableParent) {
        ::EnableWindow(parent, FALSE);
    }
    const int result = RunModalLoop();
    if (disableParent) {
        ::EnableWindow(parent, TRUE);
    }
    if (m_hWnd != nullptr) {
        ::ShowWindow(m_hWnd, SW_HIDE);
        ::DestroyWindow(m_hWnd);
    }
    m_hWnd = nullptr;
    return result;
}

int CDialog::RunModalLoop() {
    MSG message{};
    for (;;) {
        const BOOL received = ::GetMessageA(&message, nullptr, 0, 0);
        if (received == 0) {
            return static_cast<int>(message.wParam);
        }
        if (received == -1) {
            return -1;
        }
        BOOL translated = FALSE;
        afx_detail::RunGuarded(&message, [&] { translated = PreTranslateMessage(&message); });
        if (!translated) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
        // Nothing would end the loop once the window is gone.
        if (m_hWnd == nullptr || !::IsWindow(m_hWnd)) {
            return -1;
        }
    }
}

BOOL CDialog::OnInitDialog() {
    return TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
    if (msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST && m_hWnd != nullptr) {
        return ::IsDialogMessageA(m_hWnd, msg);
    }
    return FALSE;
}

INT_PTR CALLBACK CDialog::AfxDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_INITDIALOG) {
        return FALSE;
    }
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    BOOL result = TRUE;
    const MSG current = afx_detail::MessageRecord(hwnd, message, wParam, lParam);
    afx_detail::RunGuarded(&current, [&] { result = dialog->OnInitDialog(); });
    return result;
}

LRESULT CALLBACK CDialog::AfxCbtHookProc(int code, WPARAM wParam, LPARAM lParam) {
    const HHOOK hook = t_creationHook;
    if (code == HCBT_CREATEWND && t_dialogBeingCreated != nullptr) {
        // The dialog's own window is the first one created; its controls follow.
        CDialog* dialog = t_dialogBeingCreated;
        t_dialogBeingCreated = nullptr;
        dialog->SubclassWindow(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(hook, code, wParam, lParam);
}
