// Where the status screen's parts go: the 640 by 480 frame on the screen, the slice of the
// progress block drawn for each animation step, and the status text's band. Free of any platform
// header so that every value can be checked on the host too.
#pragma once

#include <cstdint>
#include <optional>

namespace ui {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;

// The progress block image and the rows of the track it is drawn on.
constexpr int kBlockImageWidth = 22;
constexpr int kBlockTop = 354;
constexpr int kBlockHeight = 9;

// The animation counter runs 0..kLastProgressStep and then starts over at 0.
constexpr int kLastProgressStep = 31;

// The system default locale that selects the Korean screen and its higher text band.
constexpr std::uint32_t kKoreanLcid = 0x412;

struct FramePosition {
    int x;
    int y;
};

// Centres the frame on a screen of the given size. Each offset truncates toward zero, so a
// screen smaller than the frame gives a negative offset.
FramePosition FramePositionOnScreen(int screenWidth, int screenHeight);

// One copy from the block image onto the frame, rows kBlockTop..kBlockTop + kBlockHeight - 1.
struct BlockCopy {
    int destinationX;
    int width;
    int sourceX;
};

// The block slice for animation step `progress`. Step 0 draws no block; so does any value
// outside 0..kLastProgressStep, which would otherwise give a negative width or a copy outside the
// track. Step kLastProgressStep is a copy of width 0.
std::optional<BlockCopy> ProgressBlockCopy(int progress);

// The status text's band: as wide as the frame, this many rows high.
constexpr int kBandHeight = 25;

struct TextBand {
    int left;
    int top;
    int right;
    int bottom;
};

bool IsKoreanSystemLocale(std::uint32_t lcid);

// The status text's rectangle on the frame: 25 rows from 300 on a Korean system, else from 310.
TextBand StatusTextBand(std::uint32_t lcid);

// The background bitmap's resource id: the Korean screen for a Korean system, else the default.
unsigned StatusScreenBitmapId(std::uint32_t lcid);

} // namespace ui
