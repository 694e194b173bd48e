// The UI driver's readings that every end-to-end check stands on, against real Win32 under Wine:
// a message box read and answered, and the status text on the screen named by its string id.
#include "message_box.h"
#include "status_band.h"
#include "window_survey.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct BoxCall {
    const wchar_t* text;
    const wchar_t* caption;
    UINT type;
    int result = 0;
};

DWORD WINAPI ShowBox(LPVOID parameter) {
    auto* call = static_cast<BoxCall*>(parameter);
    call->result = MessageBoxW(nullptr, call->text, call->caption, call->type);
    return 0;
}

TEST(MessageBoxReading, ReadsTheBoxAndPressesTheButtonAsked) {
    const struct {
        BoxCall call;
        std::vector<int> buttons;
        int defaultButton;
        bool icon;
        int press;
    } cases[] = {
        {{L"First line\nSecond line", L"BIOS update", MB_YESNO}, {IDYES, IDNO}, IDYES, false, IDNO},
        {{L"Cannot write", L"BIOSUpdate", MB_OK | MB_ICONHAND}, {IDOK}, IDOK, true, IDOK},
    };
    for (auto c : cases) {
        SCOPED_TRACE(::testing::Message() << c.call.caption);
        const HANDLE thread = CreateThread(nullptr, 0, ShowBox, &c.call, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        HWND box = nullptr;
        std::optional<MessageBoxContent> content;
        for (int i = 0; i < 500 && !content; ++i) {
            Sleep(20);
            for (const WindowState& window : SurveyTopLevelWindows({GetCurrentProcessId()})) {
                if ((content = ReadMessageBox(window.hwnd))) {
                    box = window.hwnd;
                    break;
                }
            }
        }
        ASSERT_TRUE(content);
        EXPECT_EQ(content->caption, c.call.caption);
        EXPECT_EQ(content->text, c.call.text);
        EXPECT_EQ(content->buttons, c.buttons);
        EXPECT_EQ(content->defaultButton, c.defaultButton);
        EXPECT_EQ(content->hasIcon, c.icon);
        EXPECT_TRUE(PressMessageBoxButton(box, c.press));
        EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
        CloseHandle(thread);
        EXPECT_EQ(c.call.result, c.press);
    }
}

// A full-screen window that paints a status screen the way BIOSUpdate.exe does: a black 640x480
// frame centred on the screen, the text drawn white into it with DrawTextA and DT_CENTER in the
// default font of a new memory DC, the frame copied to the window in one piece.
struct StatusScreen {
    std::string text;
    int bandTop = 310;
};
StatusScreen g_screen;

LRESULT CALLBACK StatusScreenProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    PAINTSTRUCT paint;
    BeginPaint(hwnd, &paint);
    EndPaint(hwnd, &paint);
    const HDC client = GetDC(hwnd);
    const HDC frame = CreateCompatibleDC(client);
    const HBITMAP bitmap = CreateCompatibleBitmap(client, 640, 480);
    const HGDIOBJ previous = SelectObject(frame, bitmap);
    RECT all{0, 0, 640, 480};
    FillRect(frame, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetTextColor(frame, RGB(255, 255, 255));
    SetBkMode(frame, TRANSPARENT);
    RECT band{0, g_screen.bandTop, 640, g_screen.bandTop + 25};
    DrawTextA(frame, g_screen.text.data(), static_cast<int>(g_screen.text.size()), &band,
              DT_CENTER);
    BitBlt(client, (GetSystemMetrics(SM_CXSCREEN) - 640) / 2,
           (GetSystemMetrics(SM_CYSCREEN) - 480) / 2, 640, 480, frame, 0, 0, SRCCOPY);
    SelectObject(frame, previous);
    DeleteObject(bitmap);
    DeleteDC(frame);
    ReleaseDC(hwnd, client);
    return 0;
}

TEST(StatusBandReading, NamesTheTextInTheProgramsBandOnly) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = StatusScreenProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"UidriverTestStatusScreen";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(
        WS_EX_TOPMOST | WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0,
        0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
        windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    // The strings of this test program (uidriver_test.rc) stand in for the product's.
    StatusBand band(self);
    // Where BIOSUpdate.exe puts the band: frame row 300 on Korean systems, 310 elsewhere.
    const int top = GetSystemDefaultLCID() == 0x412 ? 300 : 310;
    const struct {
        const char* text;
        int bandTop;
        BandReading::Kind kind;
        int id;
    } cases[] = {
        {"Initializing for BIOS update", top, BandReading::Kind::Text, 129},
        {"Loading BIOS update files. ", top, BandReading::Kind::Text, 130},
        // Two ids with the same text: the lower one is named.
        {"Can not update BIOS update on your system", top, BandReading::Kind::Text, 131},
        {"BIOS is updating now. This will take approximately 3 minutes to completion", top,
         BandReading::Kind::Text, 133},
        {"", top, BandReading::Kind::Blank, 0},
        {"Some text the program does not hold", top, BandReading::Kind::Unknown, 0},
        // The trailing blank of 130 takes part in the centring.
        {"Loading BIOS update files.", top, BandReading::Kind::Unknown, 0},
        {"Loading BIOS update file. ", top, BandReading::Kind::Unknown, 0},
        // A text outside the program's band is no status text.
        {"Initializing for BIOS update", top - 10, BandReading::Kind::Unknown, 0},
        {"Initializing for BIOS update", top + 10, BandReading::Kind::Unknown, 0},
        {"Initializing for BIOS update", top + 3, BandReading::Kind::Unknown, 0},
    };
    for (const auto& c : cases) {
        g_screen = {c.text, c.bandTop};
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
        // Lets the paint reach the screen.
        for (int i = 0; i < 30; ++i) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
            }
            Sleep(10);
        }
        const BandReading reading = band.Read();
        EXPECT_EQ(reading.kind, c.kind) << c.text << " at " << c.bandTop;
        EXPECT_EQ(reading.id, c.id) << c.text << " at " << c.bandTop;
    }
    DestroyWindow(window);
}

} // namespace
