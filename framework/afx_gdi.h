// Device contexts and the GDI objects painted with them. Every wrapper that creates or obtains a
// handle gives it back when it goes out of scope.
#pragma once

#include <windows.h>

#include "afx_exception.h"
#include "afx_handle.h"

class CWnd;

// Raised when a device context cannot be had.
class CResourceException : public CException {
public:
    CString GetErrorMessage() const override;
};

[[noreturn]] void AfxThrowResourceException();

// Owner of a pen, brush, font or bitmap: deleted with the object. It must no longer be selected
// into a device context by then.
class CGdiObject {
public:
    CGdiObject() = default;
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    virtual ~CGdiObject() = default;

    HGDIOBJ GetSafeHandle() const { return m_object.Get(); }

protected:
    void Attach(HGDIOBJ object) { m_object.Reset(object); }

private:
    ScopedHandle<GdiObjectTraits> m_object;
};

class CBitmap : public CGdiObject {
public:
    // From the resource module; FALSE (and no bitmap) when it holds no such bitmap.
    BOOL LoadBitmap(UINT id);
};

// A device context. Wrapping a handle does not own it; the handle is fixed for the object's life,
// so the classes below give back exactly what they obtained.
class CDC {
public:
    explicit CDC(HDC dc) : m_hDC(dc) {}
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    virtual ~CDC() = default;

    HDC GetSafeHdc() const { return m_hDC; }

    // Each returns the object of the same kind that was selected before.
    HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }
    HGDIOBJ SelectObject(const CGdiObject* object) { return SelectObject(object->GetSafeHandle()); }

    COLORREF SetBkColor(COLORREF color) { return ::SetBkColor(m_hDC, color); }
    COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }

    BOOL BitBlt(int x, int y, int width, int height, const CDC* source, int sourceX, int sourceY,
                DWORD rop) {
        return ::BitBlt(m_hDC, x, y, width, height, source->GetSafeHdc(), sourceX, sourceY, rop);
    }
    // `count` is the length in bytes.
    int DrawText(const char* text, int count, RECT* rect, UINT format) {
        return ::DrawTextA(m_hDC, text, count, rect, format);
    }
    BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }

private:
    const HDC m_hDC;
};

// A memory device context compatible with `dc` (with the screen when `dc` is null), deleted with
// the object. Its handle is null when the system could not make one.
class CMemoryDC : public CDC {
public:
    explicit CMemoryDC(const CDC* dc);
    ~CMemoryDC() override;
};

// Keeps an object selected into a device context for one scope, then puts back what it replaced.
class CSelectedObject {
public:
    CSelectedObject(CDC& dc, const CGdiObject& object)
        : m_dc(dc), m_replaced(dc.SelectObject(&object)) {}
    ~CSelectedObject() {
        if (m_replaced != nullptr) {
            m_dc.SelectObject(m_replaced);
        }
    }
    CSelectedObject(const CSelectedObject&) = delete;
    CSelectedObject& operator=(const CSelectedObject&) = delete;

private:
    CDC& m_dc;
    HGDIOBJ m_replaced;
};

// The window's client area for the whole scope (GetDC / ReleaseDC), not limited to an update
// region. Throws CResourceException when the system gives no device context.
class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* wnd);
    ~CClientDC() override;

private:
    explicit CClientDC(HWND hwnd);

    const HWND m_hWnd;
};

// One WM_PAINT's painting (BeginPaint / EndPaint): validates the update region. Throws
// CResourceException when BeginPaint gives no device context.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;

    const PAINTSTRUCT m_ps;

private:
    struct Painting {
        HWND hwnd;
        PAINTSTRUCT ps;
        HDC dc;
    };
    static Painting BeginPainting(HWND hwnd);
    explicit CPaintDC(const Painting& painting);

    const HWND m_hWnd;
};
