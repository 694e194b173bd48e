// The status screens and the progress block: format, palette, layout, frame and block pixels.
#include "product_module.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

struct Rgb {
    int red, green, blue;
    bool operator==(const Rgb& other) const {
        return red == other.red && green == other.green && blue == other.blue;
    }
};

std::ostream& operator<<(std::ostream& out, const Rgb& colour) {
    return out << "(" << colour.red << ", " << colour.green << ", " << colour.blue << ")";
}

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kLightGrey{188, 188, 188};
constexpr Rgb kDarkGrey{70, 70, 70};
constexpr Rgb kMidGrey{126, 126, 126};

const std::array<Rgb, 16> kScreenPalette = {{{0, 0, 0},
                                             {32, 26, 21},
                                             {70, 70, 70},
                                             {45, 62, 210},
                                             {83, 101, 1},
                                             {178, 53, 5},
                                             {126, 126, 126},
                                             {137, 146, 0},
                                             {94, 127, 252},
                                             {247, 107, 32},
                                             {141, 166, 255},
                                             {142, 220, 4},
                                             {243, 188, 27},
                                             {188, 188, 188},
                                             {252, 252, 252},
                                             {255, 255, 255}}};

// A packed DIB as stored in a bitmap resource: header, palette, bottom-up rows.
class Dib {
public:
    explicit Dib(Bytes bytes) : m_bytes(std::move(bytes)) {
        if (m_bytes.size() < sizeof m_header) {
            throw std::runtime_error("bitmap shorter than its header");
        }
        std::memcpy(&m_header, m_bytes.data(), sizeof m_header);
        if (m_header.biBitCount <= 8) {
            m_palette_size = m_header.biClrUsed ? m_header.biClrUsed : 1u << m_header.biBitCount;
        }
        m_stride = (Width() * m_header.biBitCount + 31) / 32 * 4;
        m_bits = m_header.biSize + 4 * m_palette_size;
        if (m_bytes.size() < m_bits + m_stride * static_cast<std::size_t>(Height())) {
            throw std::runtime_error("bitmap shorter than its pixels");
        }
    }

    const BITMAPINFOHEADER& Header() const { return m_header; }
    int Width() const { return m_header.biWidth; }
    int Height() const { return std::abs(m_header.biHeight); }
    unsigned PaletteSize() const { return m_palette_size; }

    Rgb PaletteEntry(unsigned index) const {
        const unsigned char* quad = m_bytes.data() + m_header.biSize + 4 * index;
        return {quad[2], quad[1], quad[0]};
    }

    // Palette index of a 4-bit pixel; y counts from the top.
    int IndexAt(int x, int y) const {
        unsigned char pair = Row(y)[x / 2];
        return x % 2 == 0 ? pair >> 4 : pair & 0xF;
    }

    Rgb ColourAt(int x, int y) const {
        if (m_header.biBitCount == 4) {
            return PaletteEntry(static_cast<unsigned>(IndexAt(x, y)));
        }
        const unsigned char* pixel = Row(y) + 3 * x;
        return {pixel[2], pixel[1], pixel[0]};
    }

private:
    const unsigned char* Row(int y) const {
        int stored = m_header.biHeight > 0 ? Height() - 1 - y : y;
        return m_bytes.data() + m_bits + m_stride * static_cast<std::size_t>(stored);
    }

    Bytes m_bytes;
    BITMAPINFOHEADER m_header{};
    unsigned m_palette_size = 0;
    std::size_t m_stride = 0;
    std::size_t m_bits = 0;
};

Dib LoadDib(int id) {
    auto bytes = Product().Find(RT_BITMAP, MAKEINTRESOURCEA(id), kKorean);
    if (!bytes) {
        throw std::runtime_error("bitmap " + std::to_string(id) + " missing in Korean");
    }
    return Dib(std::move(*bytes));
}

struct Screen {
    int id;
    int bits_per_pixel;
    int first_artwork_row;
    int last_artwork_row;
};

void PrintTo(const Screen& screen, std::ostream* out) {
    *out << "bitmap " << screen.id;
}

const Screen kScreens[] = {
    {IDB_SCREEN, 24, 73, 291},
    {IDB_SCREEN_KO, 4, 97, 252},
    {IDB_SCREEN_ALT, 4, 86, 232},
};

constexpr int kFrameLeft = 255, kFrameTop = 351, kFrameRight = 380, kFrameBottom = 365;

bool InFrame(int x, int y) {
    return x >= kFrameLeft && x <= kFrameRight && y >= kFrameTop && y <= kFrameBottom;
}

// The frame is symmetric, so each pixel is described by its distance from the nearest
// horizontal and vertical outer edge.
Rgb ExpectedFramePixel(int x, int y) {
    int from_side = std::min(x - kFrameLeft, kFrameRight - x);
    int from_edge = std::min(y - kFrameTop, kFrameBottom - y);
    auto across = [](int depth) {
        return depth == 0 ? kLightGrey : depth == 1 ? kDarkGrey : kBlack;
    };
    if (from_side >= 3 && from_edge >= 3) {
        return kBlack;
    }
    if (from_side >= 3) {
        return across(from_edge); // top and bottom lines
    }
    if (from_edge >= 3) {
        return across(from_side); // left and right lines
    }
    // The rounded corner, by distance from the side (columns) and the edge (rows).
    const Rgb corner[3][3] = {
        {kBlack, kBlack, kMidGrey},
        {kBlack, kMidGrey, kDarkGrey},
        {kMidGrey, kDarkGrey, kBlack},
    };
    return corner[from_edge][from_side];
}

class ScreenTest : public testing::TestWithParam<Screen> {};

TEST_P(ScreenTest, IsAnUncompressedBottomUp640x480Bitmap) {
    Dib dib = LoadDib(GetParam().id);
    EXPECT_EQ(dib.Header().biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(dib.Header().biWidth, 640);
    EXPECT_EQ(dib.Header().biHeight, 480) << "a positive height: stored bottom-up";
    EXPECT_EQ(dib.Header().biPlanes, 1);
    EXPECT_EQ(dib.Header().biBitCount, GetParam().bits_per_pixel);
    EXPECT_EQ(dib.Header().biCompression, static_cast<DWORD>(BI_RGB));
}

TEST_P(ScreenTest, IsBlackOutsideTheArtworkAndTheFrame) {
    Dib dib = LoadDib(GetParam().id);
    int wrong = 0;
    for (int y = 0; y < 480; ++y) {
        if (y >= GetParam().first_artwork_row && y <= GetParam().last_artwork_row) {
            continue;
        }
        for (int x = 0; x < 640; ++x) {
            if (!InFrame(x, y) && !(dib.ColourAt(x, y) == kBlack) && wrong++ < 5) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << dib.ColourAt(x, y);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_P(ScreenTest, KeepsTheStatusTextBandBlack) {
    Dib dib = LoadDib(GetParam().id);
    for (int y = 300; y <= 335; ++y) {
        for (int x = 0; x < 640; ++x) {
            ASSERT_EQ(dib.ColourAt(x, y), kBlack) << "pixel (" << x << ", " << y << ")";
        }
    }
}

TEST_P(ScreenTest, ArtworkSpansItsRowsExactly) {
    Dib dib = LoadDib(GetParam().id);
    auto row_has_artwork = [&](int y) {
        for (int x = 0; x < 640; ++x) {
            if (!(dib.ColourAt(x, y) == kBlack)) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(row_has_artwork(GetParam().first_artwork_row));
    EXPECT_TRUE(row_has_artwork(GetParam().last_artwork_row));
}

TEST_P(ScreenTest, DrawsTheProgressFramePixelForPixel) {
    Dib dib = LoadDib(GetParam().id);
    for (int y = kFrameTop; y <= kFrameBottom; ++y) {
        for (int x = kFrameLeft; x <= kFrameRight; ++x) {
            ASSERT_EQ(dib.ColourAt(x, y), ExpectedFramePixel(x, y))
                << "pixel (" << x << ", " << y << ")";
        }
    }
}

TEST_P(ScreenTest, LoadsAsABitmapOfItsSize) {
    HBITMAP bitmap = LoadBitmapA(Product().Handle(), MAKEINTRESOURCEA(GetParam().id));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    EXPECT_EQ(GetObjectA(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
    DeleteObject(bitmap);
    EXPECT_EQ(info.bmWidth, 640);
    EXPECT_EQ(info.bmHeight, 480);
}

INSTANTIATE_TEST_SUITE_P(Bitmaps, ScreenTest, testing::ValuesIn(kScreens),
                         [](const testing::TestParamInfo<Screen>& screen) {
                             return "Bitmap" + std::to_string(screen.param.id);
                         });

TEST(ScreenPalette, IsSharedByThe4BitBitmaps) {
    for (int id : {IDB_SCREEN_ALT, IDB_PROGRESS, IDB_SCREEN_KO}) {
        Dib dib = LoadDib(id);
        ASSERT_EQ(dib.PaletteSize(), 16u) << "bitmap " << id;
        for (unsigned index = 0; index < 16; ++index) {
            EXPECT_EQ(dib.PaletteEntry(index), kScreenPalette[index])
                << "bitmap " << id << ", entry " << index;
        }
    }
}

TEST(ScreenArtwork, RgbScreenIsRedAndWhite) {
    Dib dib = LoadDib(IDB_SCREEN);
    bool red = false, white = false;
    for (int y = 73; y <= 291; ++y) {
        for (int x = 0; x < 640; ++x) {
            Rgb colour = dib.ColourAt(x, y);
            bool is_red = colour.red >= 150 && colour.green < 80 && colour.blue < 80;
            red = red || is_red;
            white = white || colour == kWhite;
            ASSERT_TRUE(colour == kBlack || colour == kWhite || is_red)
                << "pixel (" << x << ", " << y << ") is " << colour;
        }
    }
    EXPECT_TRUE(red);
    EXPECT_TRUE(white);
}

TEST(ScreenArtwork, KoreanScreenHasAWhiteRule) {
    Dib dib = LoadDib(IDB_SCREEN_KO);
    int longest = 0;
    for (int y = 97; y <= 252; ++y) {
        for (int x = 0, run = 0; x < 640; ++x) {
            run = dib.ColourAt(x, y) == kWhite ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    EXPECT_GE(longest, 320);
}

TEST(ScreenArtwork, AlternativeScreenIsColoured) {
    Dib dib = LoadDib(IDB_SCREEN_ALT);
    std::array<bool, 16> used{};
    for (int y = 86; y <= 232; ++y) {
        for (int x = 0; x < 640; ++x) {
            used[static_cast<std::size_t>(dib.IndexAt(x, y))] = true;
        }
    }
    EXPECT_GE(std::count(used.begin() + 1, used.end(), true), 4);
}

TEST(ProgressBlock, IsThreeBlueSegmentsPixelForPixel) {
    // Palette indices of the three segments, top row first.
    const int segments[9][3] = {{3, 3, 3}, {8, 8, 8}, {10, 10, 10}, {10, 10, 10}, {8, 8, 10},
                                {3, 8, 8}, {3, 3, 8}, {3, 3, 3},    {3, 3, 3}};
    Dib dib = LoadDib(IDB_PROGRESS);
    EXPECT_EQ(dib.Header().biWidth, 22);
    EXPECT_EQ(dib.Header().biHeight, 9);
    EXPECT_EQ(dib.Header().biBitCount, 4);
    EXPECT_EQ(dib.Header().biCompression, static_cast<DWORD>(BI_RGB));
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 22; ++x) {
            bool gap = x == 6 || x == 7 || x == 14 || x == 15;
            int expected = gap ? 0 : segments[y][x / 8];
            EXPECT_EQ(dib.IndexAt(x, y), expected) << "pixel (" << x << ", " << y << ")";
        }
    }
}

TEST(Bitmaps, ExistInOneKoreanVersionOnly) {
    for (int id : {IDB_SCREEN_ALT, IDB_PROGRESS, IDB_SCREEN_KO, IDB_SCREEN}) {
        EXPECT_EQ(Product().Languages(RT_BITMAP, MAKEINTRESOURCEA(id)), std::vector<WORD>{kKorean})
            << "bitmap " << id;
    }
}

} // namespace
