// Tests of the UI driver's parts against real Win32 under Wine: option parsing, the event log,
// starting a process, reading and pressing a message box, and naming the status text on screen.
#include "child_process.h"
#include "driver_options.h"
#include "event_log.h"
#include "message_box.h"
#include "status_band.h"
#include "text_encoding.h"
#include "window_survey.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring TempFilePath(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream file(ToUtf8(path), std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

// Pumps this thread's messages for a while, so windows of this thread paint.
void PumpMessages(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    while (GetTickCount() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
}

// --- options ---------------------------------------------------------------------------------

TEST(DriverOptions, AcceptsEveryOption) {
    const DriverOptions options = ParseDriverOptions({L"--exe",
                                                      L"C:\\e2e\\BIOSUpdate.exe",
                                                      L"--log",
                                                      L"C:\\e2e\\log.txt",
                                                      L"--args",
                                                      L" 1",
                                                      L"--answer",
                                                      L"no",
                                                      L"--answer-delay-ms",
                                                      L"0",
                                                      L"--other-boxes",
                                                      L"leave",
                                                      L"--poll-ms",
                                                      L"20",
                                                      L"--max-ms",
                                                      L"9000",
                                                      L"--second-at",
                                                      L"1500",
                                                      L"--second-args",
                                                      L"1",
                                                      L"--stop-after-second"});
    EXPECT_EQ(options.exePath, L"C:\\e2e\\BIOSUpdate.exe");
    EXPECT_EQ(options.logPath, L"C:\\e2e\\log.txt");
    ASSERT_TRUE(options.arguments);
    EXPECT_EQ(*options.arguments, L" 1");
    EXPECT_EQ(options.answer, Answer::No);
    EXPECT_EQ(options.answerDelayMs, 0);
    EXPECT_EQ(options.otherBoxes, OtherBoxes::Leave);
    EXPECT_EQ(options.pollMs, 20);
    EXPECT_EQ(options.maxMs, 9000);
    ASSERT_TRUE(options.second);
    ASSERT_TRUE(options.second->atMs);
    EXPECT_EQ(*options.second->atMs, 1500);
    ASSERT_TRUE(options.second->arguments);
    EXPECT_EQ(*options.second->arguments, L"1");
    EXPECT_TRUE(options.second->stopFirstAfterwards);
}

TEST(DriverOptions, DefaultsLeaveArgumentsAbsentAndSecondInstanceOff) {
    const DriverOptions options = ParseDriverOptions({L"--exe", L"a.exe", L"--log", L"l.txt"});
    EXPECT_FALSE(options.arguments);
    EXPECT_EQ(options.answer, Answer::Yes);
    EXPECT_EQ(options.otherBoxes, OtherBoxes::PressOk);
    EXPECT_FALSE(options.second);
}

TEST(DriverOptions, EmptyArgumentTextIsKeptApartFromNoArgument) {
    const DriverOptions options =
        ParseDriverOptions({L"--exe", L"a.exe", L"--log", L"l.txt", L"--args", L""});
    ASSERT_TRUE(options.arguments);
    EXPECT_TRUE(options.arguments->empty());
}

TEST(DriverOptions, SecondInstanceAtTheQuestion) {
    const DriverOptions options =
        ParseDriverOptions({L"--exe", L"a.exe", L"--log", L"l.txt", L"--second-at", L"question"});
    ASSERT_TRUE(options.second);
    EXPECT_FALSE(options.second->atMs);
    EXPECT_FALSE(options.second->arguments);
}

TEST(DriverOptions, TraceAndCloseRequestsAreOffUnlessAsked) {
    const DriverOptions plain = ParseDriverOptions({L"--exe", L"a.exe", L"--log", L"l.txt"});
    EXPECT_FALSE(plain.wineDebug);
    EXPECT_FALSE(plain.closeDuringStatus);
    const DriverOptions asked =
        ParseDriverOptions({L"--exe", L"a.exe", L"--log", L"l.txt", L"--wine-debug",
                            L"+timestamp,+msg", L"--close-during-status", L"138"});
    ASSERT_TRUE(asked.wineDebug);
    EXPECT_EQ(*asked.wineDebug, L"+timestamp,+msg");
    ASSERT_TRUE(asked.closeDuringStatus);
    EXPECT_EQ(*asked.closeDuringStatus, 138);
}

TEST(DriverOptions, RejectsBadCommandLines) {
    const std::vector<std::vector<std::wstring>> rejected = {
        {},
        {L"--exe", L"a.exe"},
        {L"--log", L"l.txt"},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--answer", L"maybe"},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--answer"},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--poll-ms", L"0"},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--answer-delay-ms", L"-5"},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--max-ms", L"12x"},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--other-boxes", L"cancel"},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--second-at", L"soon"},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--second-args", L"1"},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--stop-after-second"},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--verbose", L"1"},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--wine-debug", L""},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--close-during-status", L"0"},
        {L"--exe", L"a.exe", L"--log", L"l.txt", L"--close-during-status", L"IDS_LOADING"},
    };
    for (const auto& arguments : rejected) {
        EXPECT_THROW(ParseDriverOptions(arguments), std::invalid_argument)
            << "accepted a command line of " << arguments.size() << " words";
    }
}

// --- event log -------------------------------------------------------------------------------

TEST(EventLog, EscapesSeparatorsAndLineBreaks) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},       {"two\nlines", "two\\nlines"}, {"tab\there", "tab\\there"},
        {"C:\\e2e", "C:\\\\e2e"}, {"cr\r\n", "cr\\r\\n"},        {"", ""},
    };
    for (const auto& [value, escaped] : cases) {
        EXPECT_EQ(EscapeLogValue(value), escaped);
    }
}

TEST(EventLog, WritesOneTimedLinePerEvent) {
    const std::wstring path = TempFilePath(L"uidriver_event_log_test.txt");
    {
        EventLog log(path);
        log.Write("launch", {{"role", "first"}, {"command", "\"C:\\a b\\x.exe\" 1"}});
        log.WriteAt(5, "status", {{"text", "a\tb"}});
        log.Write("end", {});
    }
    const std::string content = ReadFile(path);
    DeleteFileW(path.c_str());
    std::istringstream lines(content);
    std::string first, second, third, extra;
    ASSERT_TRUE(std::getline(lines, first));
    ASSERT_TRUE(std::getline(lines, second));
    ASSERT_TRUE(std::getline(lines, third));
    EXPECT_FALSE(std::getline(lines, extra));
    const size_t tab = first.find('\t');
    ASSERT_NE(tab, std::string::npos);
    EXPECT_GE(std::stol(first.substr(0, tab)), 0);
    EXPECT_EQ(first.substr(tab), "\tlaunch\trole=first\tcommand=\"C:\\\\a b\\\\x.exe\" 1");
    EXPECT_EQ(second, "5\tstatus\ttext=a\\tb");
    EXPECT_EQ(third.substr(third.find('\t')), "\tend");
}

TEST(EventLog, RefusesAPathItCannotCreate) {
    EXPECT_THROW(EventLog(L"Q:\\no such folder\\log.txt"), std::runtime_error);
}

// --- child process ---------------------------------------------------------------------------

TEST(ChildProcess, ReportsTheExitCodeOfTheProcessItStarted) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    ChildProcess child(std::wstring(system) + L"\\cmd.exe", std::wstring(L"/c exit 7"));
    EXPECT_NE(child.Id(), 0u);
    EXPECT_EQ(child.CommandLine(), L"\"" + std::wstring(system) + L"\\cmd.exe\" /c exit 7");
    for (int i = 0; i < 500 && !child.ExitCode(); ++i) {
        Sleep(20);
    }
    ASSERT_TRUE(child.ExitCode());
    EXPECT_EQ(*child.ExitCode(), 7u);
}

TEST(ChildProcess, AMissingProgramThrows) {
    EXPECT_THROW(ChildProcess(L"C:\\no\\such\\program.exe", std::nullopt), std::runtime_error);
}

// --- message boxes ---------------------------------------------------------------------------

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

// Shows a box on another thread and waits until the survey of this process finds it.
class ShownBox {
public:
    explicit ShownBox(BoxCall& call)
        : m_thread(CreateThread(nullptr, 0, ShowBox, &call, 0, nullptr)) {
        for (int i = 0; i < 500 && !m_hwnd; ++i) {
            for (const WindowState& window : SurveyTopLevelWindows({GetCurrentProcessId()})) {
                if (ReadMessageBox(window.hwnd)) {
                    m_hwnd = window.hwnd;
                }
            }
            Sleep(20);
        }
    }
    ~ShownBox() {
        if (WaitForSingleObject(m_thread, 0) != WAIT_OBJECT_0) {
            PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
        }
        WaitForSingleObject(m_thread, 10000);
        CloseHandle(m_thread);
    }
    ShownBox(const ShownBox&) = delete;
    ShownBox& operator=(const ShownBox&) = delete;

    HWND Hwnd() const { return m_hwnd; }
    bool Ended(DWORD ms) const { return WaitForSingleObject(m_thread, ms) == WAIT_OBJECT_0; }

private:
    HANDLE m_thread;
    HWND m_hwnd = nullptr;
};

TEST(MessageBoxReading, ReadsAYesNoQuestionAndAnswersIt) {
    BoxCall call{L"First line\nSecond line", L"BIOS update", MB_YESNO};
    ShownBox box(call);
    ASSERT_NE(box.Hwnd(), nullptr);
    const std::optional<MessageBoxContent> content = ReadMessageBox(box.Hwnd());
    ASSERT_TRUE(content);
    EXPECT_EQ(content->caption, L"BIOS update");
    EXPECT_EQ(content->text, L"First line\nSecond line");
    EXPECT_EQ(content->buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(content->defaultButton, IDYES);
    EXPECT_FALSE(content->hasIcon);
    ASSERT_TRUE(PressMessageBoxButton(box.Hwnd(), IDNO));
    ASSERT_TRUE(box.Ended(5000));
    EXPECT_EQ(call.result, IDNO);
}

TEST(MessageBoxReading, SeesAnIconAndTheDefaultButtonTheBoxWasGiven) {
    BoxCall call{L"Retry?", L"Other", MB_RETRYCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2};
    ShownBox box(call);
    ASSERT_NE(box.Hwnd(), nullptr);
    const std::optional<MessageBoxContent> content = ReadMessageBox(box.Hwnd());
    ASSERT_TRUE(content);
    EXPECT_EQ(content->buttons, (std::vector<int>{IDCANCEL, IDRETRY}));
    EXPECT_EQ(content->defaultButton, IDCANCEL);
    EXPECT_TRUE(content->hasIcon);
    ASSERT_TRUE(PressMessageBoxButton(box.Hwnd(), IDRETRY));
    ASSERT_TRUE(box.Ended(5000));
    EXPECT_EQ(call.result, IDRETRY);
}

TEST(MessageBoxReading, APlainDialogWithoutControlsIsNoMessageBox) {
    HWND window = CreateWindowExW(0, L"#32770", L"BIOS Update Program", WS_POPUP | WS_VISIBLE, 0, 0,
                                  200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(ReadMessageBox(window));
    DestroyWindow(window);
}

TEST(MessageBoxReading, PressingAMissingButtonFails) {
    BoxCall call{L"Note", L"Plain", MB_OK};
    ShownBox box(call);
    ASSERT_NE(box.Hwnd(), nullptr);
    EXPECT_FALSE(PressMessageBoxButton(box.Hwnd(), IDYES));
    EXPECT_TRUE(PressMessageBoxButton(box.Hwnd(), IDOK));
    EXPECT_TRUE(box.Ended(5000));
    EXPECT_EQ(ButtonName(IDOK), "OK");
    EXPECT_EQ(ButtonName(IDNO), "NO");
    EXPECT_EQ(ButtonName(4242), "4242");
}

// --- window survey ---------------------------------------------------------------------------

TEST(WindowSurvey, ListsOnlyTheWindowsOfTheGivenProcesses) {
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"#32770", L"Survey me",
                                  WS_POPUP | WS_VISIBLE, 10, 20, 300, 200, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    bool found = false;
    for (const WindowState& state : SurveyTopLevelWindows({GetCurrentProcessId()})) {
        if (state.hwnd != window) {
            continue;
        }
        found = true;
        EXPECT_EQ(state.title, L"Survey me");
        EXPECT_EQ(state.className, L"#32770");
        EXPECT_EQ(state.rect.left, 10);
        EXPECT_EQ(state.rect.top, 20);
        EXPECT_EQ(state.rect.right, 310);
        EXPECT_EQ(state.rect.bottom, 220);
        EXPECT_TRUE(state.exStyle & WS_EX_TOOLWINDOW);
        EXPECT_TRUE(state.exStyle & WS_EX_TOPMOST);
        EXPECT_TRUE(state.visible);
    }
    EXPECT_TRUE(found);
    for (const WindowState& state : SurveyTopLevelWindows({GetCurrentProcessId() ^ 0x7FFCu})) {
        EXPECT_NE(state.hwnd, window);
    }
    DestroyWindow(window);
}

// --- status band -----------------------------------------------------------------------------

// A full-screen window that paints a status screen the way BIOSUpdate.exe does: a black 640x480
// frame centred on the screen, the text drawn white into it with DrawTextA and DT_CENTER in the
// default font of a new memory DC, the frame copied to the window in one piece.
struct StatusScreen {
    std::string text;
    int bandTop = 310;
    HWND hwnd = nullptr;
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

class StatusBandTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = StatusScreenProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        windowClass.lpszClassName = L"UidriverTestStatusScreen";
        RegisterClassW(&windowClass);
        g_screen.hwnd = CreateWindowExW(
            WS_EX_TOPMOST | WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE,
            0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
            windowClass.hInstance, nullptr);
        ASSERT_NE(g_screen.hwnd, nullptr);
    }
    void TearDown() override { DestroyWindow(g_screen.hwnd); }

    BandReading Show(const std::string& text, int bandTop) {
        g_screen.text = text;
        g_screen.bandTop = bandTop;
        InvalidateRect(g_screen.hwnd, nullptr, FALSE);
        UpdateWindow(g_screen.hwnd);
        PumpMessages(300);
        return m_band.Read();
    }

    // Where BIOSUpdate.exe puts the band: frame row 300 on Korean systems, 310 elsewhere.
    const int m_programBandTop = GetSystemDefaultLCID() == 0x412 ? 300 : 310;
    StatusBand m_band{OwnPath()};
};

TEST_F(StatusBandTest, LoadsTheStringTableOfTheProgramFile) {
    ASSERT_EQ(m_band.Texts().size(), 5u);
    EXPECT_EQ(m_band.Texts()[0].id, 129);
    EXPECT_EQ(m_band.Texts()[0].text, L"Initializing for BIOS update");
    EXPECT_EQ(m_band.Texts()[1].text, L"Loading BIOS update files. ");
    EXPECT_GT(m_band.Texts()[0].litPixels, 100);
}

TEST_F(StatusBandTest, NamesTheTextOnTheScreen) {
    const struct {
        const char* text;
        BandReading::Kind kind;
        int id;
    } cases[] = {
        {"Initializing for BIOS update", BandReading::Kind::Text, 129},
        {"Loading BIOS update files. ", BandReading::Kind::Text, 130},
        // Two ids with the same text: the lower one is named.
        {"Can not update BIOS update on your system", BandReading::Kind::Text, 131},
        {"BIOS is updating now. This will take approximately 3 minutes to completion",
         BandReading::Kind::Text, 133},
        {"", BandReading::Kind::Blank, 0},
        {"Some text the program does not hold", BandReading::Kind::Unknown, 0},
        // The trailing blank of 130 takes part in the centring: without it the text sits half a
        // blank further right and is another text.
        {"Loading BIOS update files.", BandReading::Kind::Unknown, 0},
        {"Loading BIOS update file. ", BandReading::Kind::Unknown, 0},
    };
    const int top = m_programBandTop;
    for (const auto& c : cases) {
        const BandReading reading = Show(c.text, top);
        EXPECT_EQ(reading.kind, c.kind) << c.text;
        EXPECT_EQ(reading.id, c.id) << c.text;
        if (c.kind == BandReading::Kind::Text) {
            EXPECT_EQ(reading.differingPixels, 0) << c.text;
        }
    }
}

TEST_F(StatusBandTest, ATextOutsideTheBandIsNotNamed) {
    const int top = m_programBandTop;
    for (const int misplaced : {top - 10, top + 3, top - 2}) {
        const BandReading reading = Show("Initializing for BIOS update", misplaced);
        EXPECT_NE(reading.kind, BandReading::Kind::Text) << "band top " << misplaced;
    }
    EXPECT_EQ(Show("Initializing for BIOS update", top).id, 129);
}

TEST(BandComparison, CountsDifferingAndMismatchedPixels) {
    const std::vector<std::uint32_t> black(10, 0);
    std::vector<std::uint32_t> grey = black;
    grey[3] = 0x00202020; // within the tolerance of a smoothed glyph edge
    std::vector<std::uint32_t> lit = black;
    lit[4] = 0x00FFFFFF;
    lit[5] = 0x00000080; // one channel far off
    EXPECT_EQ(CompareBands(black, black).differing, 0);
    EXPECT_EQ(CompareBands(black, grey).differing, 1);
    EXPECT_EQ(CompareBands(black, grey).mismatched, 0);
    EXPECT_EQ(CompareBands(black, lit).differing, 2);
    EXPECT_EQ(CompareBands(black, lit).mismatched, 2);
    EXPECT_EQ(MismatchAllowance(0), 2);
    EXPECT_EQ(MismatchAllowance(1000), 20);
}

} // namespace
