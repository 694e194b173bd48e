// The status screen as it reaches the window: the frame, the block, the text and the icon read
// back pixel by pixel and compared with pictures built from the program's own bitmaps.
#include "block_table.h"
#include "pixels.h"
#include "status_window.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace painttest {

namespace {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
constexpr int kBandHeight = 25;
// The track's dark interior, the only place the block may touch.
constexpr int kTrackLeft = 259;
constexpr int kTrackRight = 378;
constexpr int kTrackTop = 354;
constexpr int kTrackBottom = 362;

struct ScreenCase {
    int width;
    int height;
    int frameX;
    int frameY;
};

constexpr ScreenCase kScreens[] = {
    {1024, 768, 192, 144},
    {640, 480, 0, 0},
};

struct LocaleCase {
    LCID lcid;
    UINT background;
    UINT otherBackground;
    int bandTop;
};

constexpr LocaleCase kLocales[] = {
    {0x412, IDB_SCREEN_KO, IDB_SCREEN, 300},
    {0x409, IDB_SCREEN, IDB_SCREEN_KO, 310},
};

// What the test run was registered for (CTest sets the locale and the screen of each run).
struct Expectations {
    LocaleCase locale;
    ScreenCase screen;
};

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

const Expectations& Expected() {
    static const Expectations expectations = [] {
        Expectations found{};
        const LCID lcid = ::GetSystemDefaultLCID();
        for (const LocaleCase& locale : kLocales) {
            if (locale.lcid == lcid) {
                found.locale = locale;
            }
        }
        const int width = ::GetSystemMetrics(SM_CXSCREEN);
        const int height = ::GetSystemMetrics(SM_CYSCREEN);
        for (const ScreenCase& screen : kScreens) {
            if (screen.width == width && screen.height == height) {
                found.screen = screen;
            }
        }
        return found;
    }();
    return expectations;
}

std::string LoadText(UINT id) {
    CString text;
    EXPECT_TRUE(text.LoadString(id)) << id;
    return std::string(text.GetString(), static_cast<std::size_t>(text.GetLength()));
}

// The frame as it should look: the background, the block's slice for the step, the text.
Image ExpectedFrame(int progress, const std::string& text) {
    Image frame = LoadBitmapImage(Expected().locale.background);
    if (progress != 0) {
        const Image block = LoadBitmapImage(IDB_PROGRESS);
        const BlockCase& slice = kBlockTable[progress - 1];
        for (int y = 0; y < block.Height(); ++y) {
            for (int x = 0; x < slice.width; ++x) {
                frame.Set(slice.destinationX + x, kTrackTop + y, block.At(slice.sourceX + x, y));
            }
        }
    }
    if (!text.empty()) {
        const int top = Expected().locale.bandTop;
        DrawCentredLine(frame, text, top, top + kBandHeight);
    }
    return frame;
}

Image CapturedFrame(const StatusWindow& status) {
    const ScreenCase& screen = Expected().screen;
    return status.Capture().Crop(screen.frameX, screen.frameY, kFrameWidth, kFrameHeight);
}

// Each run is registered for one locale and one screen size; never judge another.
class RegisteredRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Variable("BIOSUPDATE_TEST_LCID"), std::to_string(::GetSystemDefaultLCID()));
        ASSERT_EQ(Variable("BIOSUPDATE_TEST_SCREEN"),
                  std::to_string(::GetSystemMetrics(SM_CXSCREEN)) + "x" +
                      std::to_string(::GetSystemMetrics(SM_CYSCREEN)));
        ASSERT_NE(Expected().locale.lcid, 0u) << "no expectations for this locale";
        ASSERT_NE(Expected().screen.width, 0) << "no expectations for this screen";
    }
};

class StatusPaint : public RegisteredRun {
protected:
    // One window for the suite, as during a run; each test sets the counter and text it paints.
    static void SetUpTestSuite() { s_window = new StatusWindow(); }
    static void TearDownTestSuite() {
        delete s_window;
        s_window = nullptr;
    }

    static StatusWindow* s_window;
    StatusWindow& window = *s_window;
};

StatusWindow* StatusPaint::s_window = nullptr;

TEST_F(StatusPaint, BackgroundFollowsTheSystemLocale) {
    window.Show(0, "");
    const Image frame = CapturedFrame(window);
    EXPECT_EQ(Compare(frame, LoadBitmapImage(Expected().locale.background)).description, "none");
    EXPECT_GT(Compare(frame, LoadBitmapImage(Expected().locale.otherBackground)).count, 0);
}

TEST_F(StatusPaint, EveryCounterValueCopiesItsSliceOfTheBlock) {
    const Image background = LoadBitmapImage(Expected().locale.background);
    for (int progress = 0; progress <= 31; ++progress) {
        SCOPED_TRACE(progress);
        window.Show(progress, "");
        const Image frame = CapturedFrame(window);
        EXPECT_EQ(Compare(frame, ExpectedFrame(progress, "")).description, "none");

        const Difference changed = Compare(frame, background);
        if (progress == 0 || progress == 31) {
            EXPECT_EQ(changed.count, 0) << changed.description;
        } else {
            EXPECT_GT(changed.count, 0);
            EXPECT_GE(changed.left, kTrackLeft) << changed.description;
            EXPECT_LE(changed.right, kTrackRight) << changed.description;
            EXPECT_GE(changed.top, kTrackTop) << changed.description;
            EXPECT_LE(changed.bottom, kTrackBottom) << changed.description;
        }
    }
}

TEST_F(StatusPaint, TextIsWhiteAndCentredInTheLanguageBand) {
    const std::string text = LoadText(IDS_INITIALIZING);
    window.Show(0, text);
    const Image frame = CapturedFrame(window);
    EXPECT_EQ(Compare(frame, ExpectedFrame(0, text)).description, "none");

    const Difference changed = Compare(frame, LoadBitmapImage(Expected().locale.background));
    ASSERT_GT(changed.count, 0);
    EXPECT_GE(changed.top, Expected().locale.bandTop) << changed.description;
    EXPECT_LT(changed.bottom, Expected().locale.bandTop + kBandHeight) << changed.description;
    // Centred: as much room on the left as on the right, give or take a glyph's side bearing.
    EXPECT_NEAR(changed.left, kFrameWidth - 1 - changed.right, 4) << changed.description;
    int white = 0;
    for (int y = changed.top; y <= changed.bottom; ++y) {
        for (int x = changed.left; x <= changed.right; ++x) {
            white += frame.At(x, y) == kWhite ? 1 : 0;
        }
    }
    EXPECT_GT(white, 0);
}

TEST_F(StatusPaint, TextKeepsItsTrailingSpace) {
    // The text's own length is drawn, so a trailing space shifts the centred text to the left.
    const std::string text = LoadText(IDS_LOADING);
    window.Show(0, text);
    EXPECT_EQ(Compare(CapturedFrame(window), ExpectedFrame(0, text)).description, "none");
}

TEST_F(StatusPaint, EmptyTextDrawsNoText) {
    window.Show(9, LoadText(IDS_CHECKING));
    window.Show(9, "");
    EXPECT_EQ(Compare(CapturedFrame(window), ExpectedFrame(9, "")).description, "none");
}

TEST_F(StatusPaint, RepaintStartsFromACleanBackground) {
    window.Show(7, LoadText(IDS_LOADING));
    window.Show(20, LoadText(IDS_VERIFYING));
    EXPECT_EQ(
        Compare(CapturedFrame(window), ExpectedFrame(20, LoadText(IDS_VERIFYING))).description,
        "none");
    window.Show(3, LoadText(IDS_SAME_VERSION));
    EXPECT_EQ(
        Compare(CapturedFrame(window), ExpectedFrame(3, LoadText(IDS_SAME_VERSION))).description,
        "none");
}

TEST_F(StatusPaint, TextWiderThanTheFrameStaysOnOneLineClippedAtBothSides) {
    const std::string text = LoadText(IDS_LOW_BATTERY) + " " + LoadText(IDS_UPDATING);
    window.Show(0, text);
    const Image frame = CapturedFrame(window);
    EXPECT_EQ(Compare(frame, ExpectedFrame(0, text)).description, "none");

    const Difference changed = Compare(frame, LoadBitmapImage(Expected().locale.background));
    const int top = Expected().locale.bandTop;
    ASSERT_GT(changed.count, 0);
    EXPECT_LE(changed.left, 8) << changed.description;
    EXPECT_GE(changed.right, kFrameWidth - 1 - 8) << changed.description;
    EXPECT_GE(changed.top, top) << changed.description;
    // A second line would start one line height below the first, still inside the band.
    EXPECT_LT(changed.bottom, top + SystemFontLineHeight()) << changed.description;
}

TEST_F(StatusPaint, FrameIsCentredOnTheBlackWindow) {
    const std::string text = LoadText(IDS_UPDATING);
    window.Show(14, text, true);
    const Image client = window.Capture();
    const ScreenCase& screen = Expected().screen;
    ASSERT_EQ(client.Width(), screen.width);
    ASSERT_EQ(client.Height(), screen.height);

    Image expected(screen.width, screen.height, kBlack);
    const Image frame = ExpectedFrame(14, text);
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            expected.Set(screen.frameX + x, screen.frameY + y, frame.At(x, y));
        }
    }
    EXPECT_EQ(Compare(client, expected).description, "none");
}

TEST_F(StatusPaint, RepaintsTheWholeFrameWhateverPartWasInvalid) {
    window.Show(0, LoadText(IDS_LOADING));
    window.Dialog().m_nProgress = 22;
    window.Dialog().SetStatus(LoadText(IDS_CHECKING).c_str());
    // Only a corner of the window is invalid: the paint still redraws the frame.
    const RECT corner{0, 0, 4, 4};
    ::InvalidateRect(window.Handle(), &corner, FALSE);
    ::UpdateWindow(window.Handle());
    PumpMessages();
    EXPECT_EQ(Compare(CapturedFrame(window), ExpectedFrame(22, LoadText(IDS_CHECKING))).description,
              "none");
}

TEST_F(StatusPaint, PaintValidatesTheWindow) {
    window.Show(4, LoadText(IDS_LOADING), true);
    EXPECT_FALSE(::GetUpdateRect(window.Handle(), nullptr, FALSE));
    EXPECT_EQ(PumpMessages(), 0);
}

// A window of its own: Wine keeps a window minimised once it has been.
class MinimisedStatusPaint : public RegisteredRun {
protected:
    StatusWindow window;
};

// What reached the window, above the framework's procedure, while it painted minimised.
struct IconEraseSeen {
    WNDPROC next = nullptr;
    bool painting = false;
    int count = 0;
    int countWhilePainting = 0;
    DWORD deviceContextType = 0;
    LPARAM lParam = -1;
};
IconEraseSeen g_iconErase;

LRESULT CALLBACK RecordIconErase(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        g_iconErase.painting = true;
        const LRESULT result = ::CallWindowProcA(g_iconErase.next, hwnd, message, wParam, lParam);
        g_iconErase.painting = false;
        return result;
    }
    if (message == WM_ICONERASEBKGND) {
        ++g_iconErase.count;
        g_iconErase.countWhilePainting += g_iconErase.painting ? 1 : 0;
        g_iconErase.deviceContextType = ::GetObjectType(reinterpret_cast<HGDIOBJ>(wParam));
        g_iconErase.lParam = lParam;
    }
    return ::CallWindowProcA(g_iconErase.next, hwnd, message, wParam, lParam);
}

TEST_F(MinimisedStatusPaint, ShowsOnlyTheIconCentred) {
    // An odd size, so that the centring's rounding shows.
    constexpr int kWidth = 101;
    constexpr int kHeight = 77;
    ::SetWindowPos(window.Handle(), nullptr, 0, 0, kWidth, kHeight, SWP_NOZORDER | SWP_NOMOVE);
    window.Show(5, LoadText(IDS_LOADING));
    // Paint the client area a colour of its own, then mark the window minimised without moving
    // it (a minimised window is otherwise moved off the screen), so what the paint draws in that
    // state stays visible.
    constexpr std::uint32_t kMarker = 0x00FF00;
    const RECT client{0, 0, kWidth, kHeight};
    {
        const HDC dc = ::GetDC(window.Handle());
        const HBRUSH marker = ::CreateSolidBrush(RGB(0, 255, 0));
        ::FillRect(dc, &client, marker);
        ::DeleteObject(marker);
        ::ReleaseDC(window.Handle(), dc);
    }
    const LONG_PTR style = ::GetWindowLongPtrA(window.Handle(), GWL_STYLE);
    ::SetWindowLongPtrA(window.Handle(), GWL_STYLE, style | WS_MINIMIZE);
    ASSERT_TRUE(::IsIconic(window.Handle()));

    g_iconErase = IconEraseSeen{};
    g_iconErase.next = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
        window.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordIconErase)));
    window.Show(5, LoadText(IDS_LOADING));
    ::SetWindowLongPtrA(window.Handle(), GWLP_WNDPROC,
                        reinterpret_cast<LONG_PTR>(g_iconErase.next));

    EXPECT_EQ(g_iconErase.count, 1);
    EXPECT_EQ(g_iconErase.countWhilePainting, 1);
    EXPECT_EQ(g_iconErase.deviceContextType, static_cast<DWORD>(OBJ_DC));
    EXPECT_EQ(g_iconErase.lParam, 0);
    const Image captured = window.Capture();
    ASSERT_EQ(captured.Width(), kWidth);
    ASSERT_EQ(captured.Height(), kHeight);
    // Half the spare room, rounded up: 69 and 45 spare columns and rows around a 32 by 32 icon.
    ASSERT_EQ(::GetSystemMetrics(SM_CXICON), 32);
    ASSERT_EQ(::GetSystemMetrics(SM_CYICON), 32);
    constexpr int iconX = 35;
    constexpr int iconY = 23;
    const Image expected =
        DrawIconImage(window.Dialog().m_hIcon, kWidth, kHeight, iconX, iconY, kMarker);
    EXPECT_EQ(Compare(captured, expected).description, "none");
}

TEST_F(StatusPaint, PaintingLeavesNoGdiObjectBehind) {
    const std::string text = LoadText(IDS_UPDATING);
    window.Show(1, text);
    const int afterFirstPaint = LiveGdiObjects();
    for (int paint = 0; paint < 1000; ++paint) {
        window.Show(paint % 32, paint % 2 == 0 ? text : "");
    }
    EXPECT_EQ(LiveGdiObjects(), afterFirstPaint);
    // The paints really happened: the last one is on the screen.
    EXPECT_EQ(Compare(CapturedFrame(window), ExpectedFrame(999 % 32, "")).description, "none");
}

} // namespace

} // namespace painttest
