// The device-context and bitmap wrappers: each gives back exactly what it obtained, and a device
// context that cannot be had is reported as the framework's resource error.
#include "pixels.h"
#include "status_window.h"

#include "afx.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <string>

namespace painttest {

namespace {

// A plain top-level window of its own class, outside the framework's message routing.
class PlainWindow {
public:
    explicit PlainWindow(WNDPROC procedure) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        ::RegisterClassA(&windowClass);
        m_window = ::CreateWindowExA(0, kClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, 64, 64,
                                     nullptr, nullptr, windowClass.hInstance, nullptr);
        PumpMessages();
    }
    ~PlainWindow() {
        ::DestroyWindow(m_window);
        ::UnregisterClassA(kClassName, ::GetModuleHandleA(nullptr));
    }
    PlainWindow(const PlainWindow&) = delete;
    PlainWindow& operator=(const PlainWindow&) = delete;

    HWND Handle() const { return m_window; }

private:
    static constexpr const char* kClassName = "PaintWrapperTestWindow";
    HWND m_window = nullptr;
};

TEST(CClientDC, ReportsAWindowWithoutDeviceContextAsResourceError) {
    HWND gone = nullptr;
    {
        const PlainWindow window(&::DefWindowProcA);
        gone = window.Handle();
    }
    ASSERT_FALSE(::IsWindow(gone));
    CWnd wnd(gone);
    try {
        const CClientDC dc(&wnd);
        ADD_FAILURE() << "a device context for a destroyed window";
    } catch (const CResourceException& error) {
        EXPECT_STREQ(error.GetErrorMessage(), "A required resource was unavailable.");
    }
}

TEST(CClientDC, GivesBackEveryDeviceContextItObtains) {
    const PlainWindow window(&::DefWindowProcA);
    CWnd wnd(window.Handle());
    { const CClientDC warmUp(&wnd); }
    const int before = LiveGdiObjects();
    for (int round = 0; round < 200; ++round) {
        const CClientDC dc(&wnd);
        ASSERT_NE(dc.GetSafeHdc(), nullptr);
        ASSERT_EQ(::WindowFromDC(dc.GetSafeHdc()), window.Handle());
    }
    EXPECT_EQ(LiveGdiObjects(), before);
}

TEST(CDC, DeletesTheMemoryDeviceContextItCreated) {
    HDC created = nullptr;
    {
        CDC dc;
        ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
        created = dc.GetSafeHdc();
        EXPECT_EQ(::GetObjectType(created), static_cast<DWORD>(OBJ_MEMDC));
    }
    EXPECT_EQ(::GetObjectType(created), 0u);
}

TEST(CDC, LeavesAWrappedDeviceContextAlone) {
    const HDC memory = ::CreateCompatibleDC(nullptr);
    { const CDC wrapper(memory); }
    EXPECT_EQ(::GetObjectType(memory), static_cast<DWORD>(OBJ_MEMDC));
    ::DeleteDC(memory);
}

TEST(CBitmap, LoadsFromTheResourceModuleAndDeletesOnDestruction) {
    HGDIOBJ loaded = nullptr;
    {
        CBitmap bitmap;
        ASSERT_TRUE(bitmap.LoadBitmap(IDB_PROGRESS));
        loaded = bitmap.GetSafeHandle();
        BITMAP header{};
        ASSERT_NE(::GetObjectA(loaded, sizeof(header), &header), 0);
        EXPECT_EQ(header.bmWidth, 22);
        EXPECT_EQ(header.bmHeight, 9);
    }
    EXPECT_EQ(::GetObjectType(loaded), 0u);

    CBitmap missing;
    EXPECT_FALSE(missing.LoadBitmap(IDB_SCREEN_ALT + 1000));
    EXPECT_EQ(missing.GetSafeHandle(), nullptr);
}

TEST(CSelectedObject, PutsBackWhatItReplaced) {
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    const HGDIOBJ original = ::GetCurrentObject(dc.GetSafeHdc(), OBJ_BITMAP);
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadBitmap(IDB_PROGRESS));
    {
        const CSelectedObject selection(dc, bitmap);
        EXPECT_EQ(::GetCurrentObject(dc.GetSafeHdc(), OBJ_BITMAP), bitmap.GetSafeHandle());
    }
    EXPECT_EQ(::GetCurrentObject(dc.GetSafeHdc(), OBJ_BITMAP), original);
}

TEST(CSelectedObject, LeavesTheDeviceContextAloneWhenNothingWasSelected) {
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    const HGDIOBJ original = ::GetCurrentObject(dc.GetSafeHdc(), OBJ_BITMAP);
    const CBitmap none;
    { const CSelectedObject selection(dc, none); }
    EXPECT_EQ(::GetCurrentObject(dc.GetSafeHdc(), OBJ_BITMAP), original);
}

// What the window procedure below saw of its paint device context.
struct PaintSeen {
    int paints = 0;
    bool hadDC = false;
    RECT paintRect{};
};
PaintSeen g_paintSeen;

LRESULT CALLBACK PaintingProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) {
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }
    CWnd wnd(hwnd);
    {
        const CPaintDC dc(&wnd);
        ++g_paintSeen.paints;
        g_paintSeen.hadDC = dc.GetSafeHdc() != nullptr;
        g_paintSeen.paintRect = dc.m_ps.rcPaint;
    }
    return 0;
}

TEST(CPaintDC, PaintsTheUpdateRegionAndValidatesIt) {
    const PlainWindow window(&PaintingProcedure);
    g_paintSeen = PaintSeen{};
    const RECT part{8, 8, 24, 16};
    ::InvalidateRect(window.Handle(), &part, FALSE);
    ::UpdateWindow(window.Handle());
    EXPECT_EQ(g_paintSeen.paints, 1);
    EXPECT_TRUE(g_paintSeen.hadDC);
    EXPECT_TRUE(::EqualRect(&g_paintSeen.paintRect, &part));
    // Had EndPaint not run, the region would still be invalid and painted again.
    EXPECT_FALSE(::GetUpdateRect(window.Handle(), nullptr, FALSE));
    PumpMessages();
    EXPECT_EQ(g_paintSeen.paints, 1);
}

} // namespace

} // namespace painttest
