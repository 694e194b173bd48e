#include "afx_gdi.h"

#include "afx_app.h"
#include "afx_wnd.h"

CString CResourceException::GetErrorMessage() const {
    return CString("A required resource was unavailable.");
}

void AfxThrowResourceException() {
    throw CResourceException();
}

BOOL CBitmap::LoadBitmap(UINT id) {
    Attach(::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id)));
    return GetSafeHandle() != nullptr ? TRUE : FALSE;
}

BOOL CDC::CreateCompatibleDC(const CDC* dc) {
    m_ownedDC.Reset(::CreateCompatibleDC(dc != nullptr ? dc->GetSafeHdc() : nullptr));
    m_hDC = m_ownedDC.Get();
    return m_hDC != nullptr ? TRUE : FALSE;
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd != nullptr ? wnd->GetSafeHwnd() : nullptr) {
    m_hDC = ::GetDC(m_hWnd);
    if (m_hDC == nullptr) {
        AfxThrowResourceException();
    }
}

CClientDC::~CClientDC() {
    ::ReleaseDC(m_hWnd, m_hDC);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_ps(), m_hWnd(wnd->GetSafeHwnd()) {
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
    if (m_hDC == nullptr) {
        AfxThrowResourceException();
    }
}

CPaintDC::~CPaintDC() {
    ::EndPaint(m_hWnd, &m_ps);
}
