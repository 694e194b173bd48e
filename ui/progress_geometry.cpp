#include "ui/progress_geometry.h"

#include "res/resource.h"

#include <algorithm>

namespace ui {

namespace {

// The track starts at this column of the frame and is this long: its last column is 378.
constexpr int kTrackOrigin = 255;
constexpr int kTrackLength = 124;
// Each animation step moves the block by this many columns.
constexpr int kColumnsPerStep = 4;

constexpr int kKoreanBandTop = 300;
constexpr int kDefaultBandTop = 310;

} // namespace

FramePosition FramePositionOnScreen(int screenWidth, int screenHeight) {
    // C++ integer division truncates toward zero, which is the rounding wanted here.
    return {(screenWidth - kFrameWidth) / 2, (screenHeight - kFrameHeight) / 2};
}

std::optional<BlockCopy> ProgressBlockCopy(int progress) {
    if (progress <= 0 || progress > kLastProgressStep) {
        return std::nullopt;
    }
    const int offset = kColumnsPerStep * progress;
    const int destinationX =
        offset < kTrackLength ? kTrackOrigin + offset : kTrackOrigin + kTrackLength;
    if (offset <= kBlockImageWidth) {
        // Growing in from the left: the right-hand part of the block.
        return BlockCopy{destinationX, offset, kBlockImageWidth - offset};
    }
    // Sliding, then shrinking against the end of the track.
    const int width = std::min(kColumnsPerStep * (kLastProgressStep - progress), kBlockImageWidth);
    return BlockCopy{destinationX, width, 0};
}

bool IsKoreanSystemLocale(std::uint32_t lcid) {
    return lcid == kKoreanLcid;
}

TextBand StatusTextBand(std::uint32_t lcid) {
    const int top = IsKoreanSystemLocale(lcid) ? kKoreanBandTop : kDefaultBandTop;
    return {0, top, kFrameWidth, top + kBandHeight};
}

unsigned StatusScreenBitmapId(std::uint32_t lcid) {
    return IsKoreanSystemLocale(lcid) ? IDB_SCREEN_KO : IDB_SCREEN;
}

} // namespace ui
