// Pixels read back from windows and bitmaps, and the reference pictures the status screen is
// compared with.
#ifndef BIOSUPDATE_TESTS_PAINT_PIXELS_H
#define BIOSUPDATE_TESTS_PAINT_PIXELS_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace painttest {

// 0x00RRGGBB per pixel, rows from the top.
class Image {
public:
    Image() = default;
    Image(int width, int height, std::uint32_t fill = 0);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    std::uint32_t At(int x, int y) const { return m_pixels[Index(x, y)]; }
    void Set(int x, int y, std::uint32_t pixel) { m_pixels[Index(x, y)] = pixel; }
    std::uint32_t* Data() { return m_pixels.data(); }

    // The rectangle of this size whose top-left corner is (x, y); it must lie inside.
    Image Crop(int x, int y, int width, int height) const;

private:
    std::size_t Index(int x, int y) const;

    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint32_t> m_pixels;
};

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;

// What the window's client area shows right now.
Image CaptureClientArea(HWND window);

// A bitmap resource of this program, as its pixels.
Image LoadBitmapImage(UINT id);

// The icon drawn with DrawIcon at (x, y) on an image of the given size filled with `fill`.
Image DrawIconImage(HICON icon, int width, int height, int x, int y, std::uint32_t fill);

// `text` drawn in white, transparently, in the system font of a new device context: one line
// starting at `top`, centred horizontally on the image and clipped to rows top..bottom - 1.
void DrawCentredLine(Image& image, const std::string& text, int top, int bottom);

// The height of a line of the system font.
int SystemFontLineHeight();

struct Difference {
    int count = 0;
    int left = 0;
    int top = 0;
    int right = -1;
    int bottom = -1;
    // "none", or how many pixels differ, where, and the first of them.
    std::string description;
};

// Where two images of the same size differ (inclusive bounds).
Difference Compare(const Image& actual, const Image& expected);

// Live GDI objects of this process. GetGuiResources is a stub under Wine, so every handle index
// of the process's GDI table is asked for its object type instead.
int LiveGdiObjects();

} // namespace painttest

#endif
