#include "ui/progress_geometry.h"

#include "block_table.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <optional>

namespace {

using painttest::BlockCase;
using painttest::kBlockTable;
using ui::BlockCopy;
using ui::ProgressBlockCopy;

static_assert(std::size(kBlockTable) == ui::kLastProgressStep, "one row for every step but 0");

TEST(ProgressBlockCopy, MatchesTheTableForEveryStep) {
    for (const BlockCase& expected : kBlockTable) {
        SCOPED_TRACE(expected.progress);
        const std::optional<BlockCopy> copy = ProgressBlockCopy(expected.progress);
        ASSERT_TRUE(copy.has_value());
        EXPECT_EQ(copy->destinationX, expected.destinationX);
        EXPECT_EQ(copy->width, expected.width);
        EXPECT_EQ(copy->sourceX, expected.sourceX);
    }
}

TEST(ProgressBlockCopy, StepZeroDrawsNoBlock) {
    EXPECT_FALSE(ProgressBlockCopy(0).has_value());
}

TEST(ProgressBlockCopy, StaysInsideTheTrackAndTheImage) {
    for (int progress = 1; progress <= ui::kLastProgressStep; ++progress) {
        SCOPED_TRACE(progress);
        const BlockCopy copy = ProgressBlockCopy(progress).value();
        EXPECT_GE(copy.width, 0);
        EXPECT_GE(copy.sourceX, 0);
        EXPECT_LE(copy.sourceX + copy.width, ui::kBlockImageWidth);
        if (copy.width > 0) {
            EXPECT_GE(copy.destinationX, 259);
            EXPECT_LE(copy.destinationX + copy.width - 1, 378);
        }
    }
}

TEST(ProgressBlockCopy, CoversTheColumnsOfEachPhase) {
    // Growing: the right edge moves 8 columns a step and always shows the block's right end.
    for (int progress = 1; progress <= 5; ++progress) {
        const BlockCopy copy = ProgressBlockCopy(progress).value();
        EXPECT_EQ(copy.destinationX + copy.width - 1, 254 + 8 * progress) << progress;
        EXPECT_EQ(copy.sourceX + copy.width, ui::kBlockImageWidth) << progress;
    }
    // Shrinking: the right edge stays on the track's last column.
    for (int progress = 26; progress <= 30; ++progress) {
        const BlockCopy copy = ProgressBlockCopy(progress).value();
        EXPECT_EQ(copy.destinationX + copy.width - 1, 378) << progress;
    }
}

TEST(ProgressBlockCopy, RefusesCountersOutsideTheAnimation) {
    for (const int progress : {-1, -31, 32, 33, 100, INT_MIN, INT_MAX}) {
        EXPECT_FALSE(ProgressBlockCopy(progress).has_value()) << progress;
    }
}

struct FrameCase {
    int screenWidth;
    int screenHeight;
    int x;
    int y;
};

TEST(FramePositionOnScreen, CentresTruncatingTowardZero) {
    constexpr FrameCase kCases[] = {
        {1024, 768, 192, 144}, // the usual notebook screen
        {640, 480, 0, 0},      // exactly the frame
        {800, 600, 80, 60},     {1280, 1024, 320, 272},
        {1025, 769, 192, 144},                    // odd differences round down
        {641, 481, 0, 0},       {639, 479, 0, 0}, // -1 / 2 truncates to 0, not -1
        {637, 477, -1, -1},                       // -3 / 2 is -1
        {320, 200, -160, -140}, {0, 0, -320, -240},
    };
    for (const FrameCase& expected : kCases) {
        const ui::FramePosition position =
            ui::FramePositionOnScreen(expected.screenWidth, expected.screenHeight);
        EXPECT_EQ(position.x, expected.x) << expected.screenWidth;
        EXPECT_EQ(position.y, expected.y) << expected.screenHeight;
    }
}

struct LocaleCase {
    std::uint32_t lcid;
    int top;
    unsigned bitmapId;
};

TEST(StatusTextBand, FollowsOnlyTheExactKoreanLocale) {
    constexpr LocaleCase kCases[] = {
        {0x412, 300, IDB_SCREEN_KO},
        {0x409, 310, IDB_SCREEN},
        {0x809, 310, IDB_SCREEN},
        {0x411, 310, IDB_SCREEN},
        {0x413, 310, IDB_SCREEN},
        // Korean with a non-default sort order is another LCID and counts as other.
        {0x10412, 310, IDB_SCREEN},
        {0, 310, IDB_SCREEN},
    };
    for (const LocaleCase& expected : kCases) {
        SCOPED_TRACE(expected.lcid);
        const ui::TextBand band = ui::StatusTextBand(expected.lcid);
        EXPECT_EQ(band.left, 0);
        EXPECT_EQ(band.right, 640);
        EXPECT_EQ(band.top, expected.top);
        EXPECT_EQ(band.bottom, expected.top + 25);
        EXPECT_EQ(ui::StatusScreenBitmapId(expected.lcid), expected.bitmapId);
        EXPECT_EQ(ui::IsKoreanSystemLocale(expected.lcid), expected.lcid == 0x412);
    }
}

} // namespace
