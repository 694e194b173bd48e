// The status screen as the real window paints it under Wine, read back pixel by pixel and compared
// with pictures built from the program's own bitmaps. CTest runs it on an English and on a Korean
// system.
#include "block_table.h"
#include "res/resource.h"
#include "ui/update_dlg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// A 32-bit top-down picture in a memory device context: what GDI draws there can be read back.
class Picture {
public:
    Picture(int width, int height) : m_width(width), m_height(height) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        m_bitmap = ::CreateDIBSection(m_dc, &info, DIB_RGB_COLORS,
                                      reinterpret_cast<void**>(&m_bits), nullptr, 0);
        ::SelectObject(m_dc, m_bitmap);
    }
    ~Picture() {
        ::DeleteDC(m_dc);
        ::DeleteObject(m_bitmap);
    }
    HDC Dc() const { return m_dc; }

    // Copies a part of one of the program's bitmaps to (x, y).
    void Draw(UINT bitmapId, int x, int y, int sourceX, int width, int height) const {
        const HBITMAP bitmap =
            ::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(bitmapId));
        const HDC source = ::CreateCompatibleDC(m_dc);
        ::SelectObject(source, bitmap);
        ::BitBlt(m_dc, x, y, width, height, source, sourceX, 0, SRCCOPY);
        ::DeleteDC(source);
        ::DeleteObject(bitmap);
    }

    // Copies what the window's client area shows from (x, y) on.
    void Capture(HWND window, int x, int y) const {
        const HDC dc = ::GetDC(window);
        ::BitBlt(m_dc, 0, 0, m_width, m_height, dc, x, y, SRCCOPY);
        ::ReleaseDC(window, dc);
    }

    // How many pixels differ from `other`'s, of the same size.
    int Differences(const Picture& other) const {
        ::GdiFlush();
        int count = 0;
        for (int index = 0; index < m_width * m_height; ++index) {
            count += ((m_bits[index] ^ other.m_bits[index]) & 0xFFFFFF) != 0 ? 1 : 0;
        }
        return count;
    }

private:
    const int m_width;
    const int m_height;
    const HDC m_dc = ::CreateCompatibleDC(nullptr);
    HBITMAP m_bitmap = nullptr;
    DWORD* m_bits = nullptr;
};

// Live GDI objects of this process. GetGuiResources is a stub under Wine, so every handle index
// of the process's GDI table is asked for its object type instead.
int LiveGdiObjects() {
    int count = 0;
    for (ULONG_PTR index = 1; index <= 0xFFFF; ++index) {
        count += ::GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0 ? 1 : 0;
    }
    return count;
}

// The real window from its template, topmost and as large as the screen as during a run; nothing
// of the run is started.
class StatusPaint : public ::testing::Test {
protected:
    void SetUp() override {
        // Each CTest run is registered for one system language: never judge another.
        ASSERT_STREQ(std::to_string(::GetSystemDefaultLCID()).c_str(),
                     std::getenv("BIOSUPDATE_TEST_LCID"));
        window = ::CreateDialogParamA(::GetModuleHandleA(nullptr),
                                      MAKEINTRESOURCEA(IDD_UPDATE_DIALOG), nullptr, nullptr, 0);
        ASSERT_TRUE(window != nullptr && dialog.SubclassWindow(window));
        ::SetWindowPos(window, HWND_TOPMOST, 0, 0, ::GetSystemMetrics(SM_CXSCREEN),
                       ::GetSystemMetrics(SM_CYSCREEN), SWP_SHOWWINDOW);
    }

    void TearDown() override { ::DestroyWindow(window); }

    // Invalidates the whole window without erasing, as the animation does, and lets it paint.
    void Paint(int progress, const CString& status) {
        dialog.m_nProgress = progress;
        dialog.SetStatus(status);
        ::InvalidateRect(window, nullptr, FALSE);
        ::UpdateWindow(window);
    }

    CUpdateDlg dialog;
    HWND window = nullptr;
};

TEST_F(StatusPaint, EachCounterValueDrawsItsSliceOfTheBlockOnACleanFrame) {
    CString text;
    ASSERT_TRUE(text.LoadString(IDS_INITIALIZING));
    const bool korean = ::GetSystemDefaultLCID() == 0x412;
    for (int progress = 0; progress <= 31; ++progress) {
        // A text in every other paint: each one starts from a clean background.
        const CString status = progress % 2 == 0 ? text : CString();
        Paint(progress, status);
        const Picture painted(640, 480);
        painted.Capture(window, (::GetSystemMetrics(SM_CXSCREEN) - 640) / 2,
                        (::GetSystemMetrics(SM_CYSCREEN) - 480) / 2);

        // The background of the system language, the block's slice, the text white in its band.
        const Picture expected(640, 480);
        expected.Draw(korean ? IDB_SCREEN_KO : IDB_SCREEN, 0, 0, 0, 640, 480);
        if (progress > 0) {
            const painttest::BlockCase& block = painttest::kBlockTable[progress - 1];
            expected.Draw(IDB_PROGRESS, block.destinationX, 354, block.sourceX, block.width, 9);
        }
        RECT band{0, korean ? 300 : 310, 640, korean ? 325 : 335};
        ::SetTextColor(expected.Dc(), RGB(255, 255, 255));
        ::SetBkMode(expected.Dc(), TRANSPARENT);
        ::DrawTextA(expected.Dc(), status.GetString(), status.GetLength(), &band, DT_CENTER);
        EXPECT_EQ(0, painted.Differences(expected)) << "counter " << progress;
    }
}

TEST_F(StatusPaint, MinimisedItDrawsOnlyTheIconCentred) {
    // One column and row fewer than the screen: the centring's rounding shows, and the frame
    // would cover the centre.
    ::SetWindowPos(window, nullptr, 0, 0, ::GetSystemMetrics(SM_CXSCREEN) - 1,
                   ::GetSystemMetrics(SM_CYSCREEN) - 1, SWP_NOZORDER | SWP_NOMOVE);
    RECT client{};
    ::GetClientRect(window, &client);
    const Picture painted(client.right, client.bottom);
    const Picture expected(client.right, client.bottom);
    // White of the test's own, then the window marked minimised without being moved off the
    // screen, so that what the paint draws stays visible.
    const HDC dc = ::GetDC(window);
    ::PatBlt(dc, 0, 0, client.right, client.bottom, WHITENESS);
    ::ReleaseDC(window, dc);
    ::SetWindowLongPtrA(window, GWL_STYLE, ::GetWindowLongPtrA(window, GWL_STYLE) | WS_MINIMIZE);
    ASSERT_TRUE(::IsIconic(window));

    Paint(5, "Loading BIOS");
    painted.Capture(window, 0, 0);
    ::PatBlt(expected.Dc(), 0, 0, client.right, client.bottom, WHITENESS);
    ::DrawIcon(expected.Dc(), (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2,
               (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2, dialog.m_hIcon);
    EXPECT_EQ(0, painted.Differences(expected));
}

TEST_F(StatusPaint, PaintingLeavesNoGdiObjectBehind) {
    Paint(1, "Updating");
    const int before = LiveGdiObjects();
    for (int paint = 0; paint < 200; ++paint) {
        Paint(paint % 32, paint % 2 == 0 ? "Updating" : "");
    }
    EXPECT_EQ(before, LiveGdiObjects());
}

} // namespace
