#include "pixels.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <type_traits>

namespace painttest {

namespace {

// Plain Win32 owners, so that the pictures the paint is judged by do not depend on the wrappers
// it is built from.
struct DeleteDCCall {
    void operator()(HDC dc) const { ::DeleteDC(dc); }
};
struct DeleteObjectCall {
    void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
using MemoryDC = std::unique_ptr<std::remove_pointer_t<HDC>, DeleteDCCall>;
using GdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, DeleteObjectCall>;

class WindowDC {
public:
    explicit WindowDC(HWND window) : m_window(window), m_dc(::GetDC(window)) {
        if (m_dc == nullptr) {
            throw std::runtime_error("GetDC failed");
        }
    }
    ~WindowDC() { ::ReleaseDC(m_window, m_dc); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC Get() const { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

BITMAPINFO TopDown32(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A memory device context drawing into a 32-bit DIB section that holds `image`'s pixels; the
// drawing is copied back into `image` when the surface goes.
class DibSurface {
public:
    explicit DibSurface(Image& image) : m_image(image), m_dc(::CreateCompatibleDC(nullptr)) {
        const BITMAPINFO info = TopDown32(image.Width(), image.Height());
        m_bitmap.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0));
        if (!m_dc || !m_bitmap || m_bits == nullptr) {
            throw std::runtime_error("cannot create a drawing surface");
        }
        std::memcpy(m_bits, image.Data(), ByteCount());
        m_replaced = ::SelectObject(m_dc.get(), m_bitmap.get());
    }
    ~DibSurface() {
        ::GdiFlush();
        const auto* source = static_cast<const std::uint32_t*>(m_bits);
        for (int y = 0; y < m_image.Height(); ++y) {
            for (int x = 0; x < m_image.Width(); ++x) {
                m_image.Set(x, y, source[y * m_image.Width() + x] & 0xFFFFFF);
            }
        }
        ::SelectObject(m_dc.get(), m_replaced);
    }
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;

    HDC Get() const { return m_dc.get(); }

private:
    std::size_t ByteCount() const {
        return static_cast<std::size_t>(m_image.Width()) * m_image.Height() * 4;
    }

    Image& m_image;
    MemoryDC m_dc;
    GdiObject m_bitmap;
    void* m_bits = nullptr;
    HGDIOBJ m_replaced = nullptr;
};

} // namespace

Image::Image(int width, int height, std::uint32_t fill)
    : m_width(width), m_height(height),
      m_pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill) {}

std::size_t Image::Index(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) {
        throw std::out_of_range("pixel outside the image");
    }
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) +
           static_cast<std::size_t>(x);
}

Image Image::Crop(int x, int y, int width, int height) const {
    Image part(width, height);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            part.Set(column, row, At(x + column, y + row));
        }
    }
    return part;
}

Image CaptureClientArea(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    Image image(client.right, client.bottom);
    if (image.Width() == 0 || image.Height() == 0) {
        return image;
    }
    const WindowDC windowDC(window);
    {
        const DibSurface surface(image);
        ::BitBlt(surface.Get(), 0, 0, image.Width(), image.Height(), windowDC.Get(), 0, 0, SRCCOPY);
    }
    return image;
}

Image LoadBitmapImage(UINT id) {
    const GdiObject bitmap(::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)));
    BITMAP header{};
    if (!bitmap || ::GetObjectA(bitmap.get(), sizeof(header), &header) == 0) {
        throw std::runtime_error("no bitmap " + std::to_string(id));
    }
    Image image(header.bmWidth, header.bmHeight);
    BITMAPINFO info = TopDown32(header.bmWidth, header.bmHeight);
    const WindowDC screen(nullptr);
    if (::GetDIBits(screen.Get(), static_cast<HBITMAP>(bitmap.get()), 0,
                    static_cast<UINT>(header.bmHeight), image.Data(), &info,
                    DIB_RGB_COLORS) != header.bmHeight) {
        throw std::runtime_error("cannot read bitmap " + std::to_string(id));
    }
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            image.Set(x, y, image.At(x, y) & 0xFFFFFF);
        }
    }
    return image;
}

Image DrawIconImage(HICON icon, int width, int height, int x, int y, std::uint32_t fill) {
    Image image(width, height, fill);
    {
        const DibSurface surface(image);
        ::DrawIcon(surface.Get(), x, y, icon);
    }
    return image;
}

void DrawCentredLine(Image& image, const std::string& text, int top, int bottom) {
    const DibSurface surface(image);
    const int length = static_cast<int>(text.size());
    SIZE extent{};
    ::GetTextExtentPoint32A(surface.Get(), text.c_str(), length, &extent);
    ::SetTextColor(surface.Get(), RGB(255, 255, 255));
    ::SetBkMode(surface.Get(), TRANSPARENT);
    const RECT clip{0, top, image.Width(), bottom};
    ::ExtTextOutA(surface.Get(), (image.Width() - extent.cx) / 2, top, ETO_CLIPPED, &clip,
                  text.c_str(), static_cast<UINT>(length), nullptr);
}

int SystemFontLineHeight() {
    const MemoryDC dc(::CreateCompatibleDC(nullptr));
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(dc.get(), &metrics);
    return metrics.tmHeight;
}

Difference Compare(const Image& actual, const Image& expected) {
    Difference difference;
    if (actual.Width() != expected.Width() || actual.Height() != expected.Height()) {
        difference.count = -1;
        difference.description = "sizes differ";
        return difference;
    }
    char first[96] = "";
    difference.left = actual.Width();
    difference.top = actual.Height();
    for (int y = 0; y < actual.Height(); ++y) {
        for (int x = 0; x < actual.Width(); ++x) {
            if (actual.At(x, y) == expected.At(x, y)) {
                continue;
            }
            if (difference.count++ == 0) {
                std::snprintf(first, sizeof(first), "first at (%d,%d): %06X instead of %06X", x, y,
                              static_cast<unsigned>(actual.At(x, y)),
                              static_cast<unsigned>(expected.At(x, y)));
            }
            difference.left = std::min(difference.left, x);
            difference.top = std::min(difference.top, y);
            difference.right = std::max(difference.right, x);
            difference.bottom = std::max(difference.bottom, y);
        }
    }
    if (difference.count == 0) {
        difference.description = "none";
        return difference;
    }
    char text[192];
    std::snprintf(text, sizeof(text), "%d pixels in x %d..%d, y %d..%d; %s", difference.count,
                  difference.left, difference.right, difference.top, difference.bottom, first);
    difference.description = text;
    return difference;
}

int LiveGdiObjects() {
    int count = 0;
    for (ULONG_PTR index = 1; index <= 0xFFFF; ++index) {
        if (::GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) {
            ++count;
        }
    }
    return count;
}

} // namespace painttest
