// Owners for the GDI objects the status band uses: a screen DC, a memory DC, a bitmap.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

struct ScreenDcRelease {
    void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
struct MemoryDcDelete {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct GdiObjectDelete {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};

using ScreenDc = std::unique_ptr<std::remove_pointer_t<HDC>, ScreenDcRelease>;
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDelete>;
using Bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDelete>;

// Selects an object into a DC for one scope and puts the previous one back.
class ScopedSelection {
public:
    ScopedSelection(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
    ~ScopedSelection() { SelectObject(m_dc, m_previous); }
    ScopedSelection(const ScopedSelection&) = delete;
    ScopedSelection& operator=(const ScopedSelection&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};
