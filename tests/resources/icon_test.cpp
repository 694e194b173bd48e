// The program's icon: one 32 x 32, 16-colour image with a mask, in a Korean icon group.
#include "product_module.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <stdexcept>

namespace {

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colour_count;
    BYTE reserved;
    WORD planes;
    WORD bit_count;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

template <typename T> T ReadAt(const Bytes& bytes, std::size_t offset) {
    if (offset + sizeof(T) > bytes.size()) {
        throw std::runtime_error("icon resource truncated");
    }
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

const unsigned char kIconPalette[16][3] = {
    {0, 0, 0},     {191, 0, 0},     {0, 191, 0},     {191, 191, 0},  {0, 0, 191}, {191, 0, 191},
    {0, 191, 191}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};

constexpr std::size_t kColourBytes = 32 * 32 / 2; // 4 bits per pixel, rows of 16 bytes
constexpr std::size_t kMaskBytes = 32 * 4;        // 1 bit per pixel, rows of 4 bytes
constexpr std::size_t kImageBytes = sizeof(BITMAPINFOHEADER) + 16 * 4 + kColourBytes + kMaskBytes;

GroupIconEntry OnlyGroupEntry() {
    auto group = Product().Find(RT_GROUP_ICON, MAKEINTRESOURCEA(IDR_MAINFRAME), kKorean);
    if (!group) {
        throw std::runtime_error("icon group 128 missing in Korean");
    }
    auto header = ReadAt<GroupIconHeader>(*group, 0);
    if (header.reserved != 0 || header.type != 1 || header.count != 1) {
        throw std::runtime_error("icon group is not one icon image");
    }
    return ReadAt<GroupIconEntry>(*group, sizeof header);
}

Bytes IconImage() {
    auto image = Product().Find(RT_ICON, MAKEINTRESOURCEA(OnlyGroupEntry().id), kKorean);
    if (!image) {
        throw std::runtime_error("the group's icon image is missing in Korean");
    }
    return *image;
}

TEST(Icon, GroupNamesOne32x32SixteenColourImage) {
    GroupIconEntry entry = OnlyGroupEntry();
    EXPECT_EQ(entry.width, 32);
    EXPECT_EQ(entry.height, 32);
    EXPECT_EQ(entry.colour_count, 16);
    EXPECT_EQ(entry.planes, 1);
    EXPECT_EQ(entry.bit_count, 4);
    EXPECT_EQ(entry.bytes, kImageBytes);
    EXPECT_EQ(Product().Languages(RT_GROUP_ICON, MAKEINTRESOURCEA(IDR_MAINFRAME)),
              std::vector<WORD>{kKorean});
}

TEST(Icon, ImageHasTheIconPaletteAndAMask) {
    Bytes image = IconImage();
    ASSERT_EQ(image.size(), kImageBytes);
    auto header = ReadAt<BITMAPINFOHEADER>(image, 0);
    EXPECT_EQ(header.biWidth, 32);
    EXPECT_EQ(header.biHeight, 64) << "colour bits and mask together";
    EXPECT_EQ(header.biBitCount, 4);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    for (std::size_t index = 0; index < 16; ++index) {
        const unsigned char* quad = image.data() + sizeof header + 4 * index;
        EXPECT_EQ(quad[2], kIconPalette[index][0]) << "entry " << index;
        EXPECT_EQ(quad[1], kIconPalette[index][1]) << "entry " << index;
        EXPECT_EQ(quad[0], kIconPalette[index][2]) << "entry " << index;
    }
}

TEST(Icon, PictureIsGreyBlackAndWhiteWithTransparentSurroundings) {
    Bytes image = IconImage();
    ASSERT_EQ(image.size(), kImageBytes);
    const unsigned char* colours = image.data() + sizeof(BITMAPINFOHEADER) + 16 * 4;
    const unsigned char* mask = colours + kColourBytes;
    const std::set<int> greys = {0, 7, 8, 15};
    int transparent = 0, opaque = 0;
    for (int row = 0; row < 32; ++row) {
        for (int x = 0; x < 32; ++x) {
            unsigned char pair = colours[row * 16 + x / 2];
            int index = x % 2 == 0 ? pair >> 4 : pair & 0xF;
            bool see_through = (mask[row * 4 + x / 8] & (0x80 >> (x % 8))) != 0;
            if (see_through) {
                ++transparent;
                EXPECT_EQ(index, 0) << "transparent pixel " << x << ", row " << row;
            } else {
                ++opaque;
                EXPECT_EQ(greys.count(index), 1u) << "pixel " << x << ", row " << row;
            }
        }
    }
    EXPECT_GT(transparent, 0);
    EXPECT_GT(opaque, 32 * 32 / 4);
}

TEST(Icon, LoadsAsA32x32Icon) {
    HICON icon = LoadIconA(Product().Handle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour{};
    GetObjectA(info.hbmColor, sizeof colour, &colour);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_TRUE(info.fIcon);
    EXPECT_EQ(colour.bmWidth, 32);
    EXPECT_EQ(colour.bmHeight, 32);
}

} // namespace
