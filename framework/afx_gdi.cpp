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

namespace {

HDC Obtained(HDC dc) {
    if (dc == nullptr) {
        AfxThrowResourceException();
    }
    return dc;
}

} // namespace

CMemoryDC::CMemoryDC(const CDC* dc)
    : CDC(::CreateCompatibleDC(dc != nullptr ? dc->GetSafeHdc() : nullptr)) {}

CMemoryDC::~CMemoryDC() {
    if (GetSafeHdc() != nullptr) {
        ::DeleteDC(GetSafeHdc());
    }
}

CClientDC::CClientDC(CWnd* wnd) : CClientDC(wnd != nullptr ? wnd->GetSafeHwnd() : nullptr) {}

CClientDC::CClientDC(HWND hwnd) : CDC(Obtained(::GetDC(hwnd))), m_hWnd(hwnd) {}

CClientDC::~CClientDC() {
    ::ReleaseDC(m_hWnd, GetSafeHdc());
}

CPaintDC::CPaintDC(CWnd* wnd) : CPaintDC(BeginPainting(wnd->GetSafeHwnd())) {}

CPaintDC::Painting CPaintDC::BeginPainting(HWND hwnd) {
    Painting painting{hwnd, {}, nullptr};
    painting.dc = Obtained(::BeginPaint(hwnd, &painting.ps));
    return painting;
}

CPaintDC::CPaintDC(const Painting& painting)
    : CDC(painting.dc), m_ps(painting.ps), m_hWnd(painting.hwnd) {}

CPaintDC::~CPaintDC() {
    ::EndPaint(m_hWnd, &m_ps);
}
