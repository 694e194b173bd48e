// Modal dialogs, message tables, the exception boundary of the window procedure and the process
// entry, with the program's own application object.

#include "afx.h"

#include <algorithm>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework_test_ids.h"
#include "message_box_watcher.h"
#include "test_case_name.h"

namespace {

constexpr UINT WM_TEST_SWALLOWED = WM_APP + 1;
constexpr UINT WM_TEST_SEEN = WM_APP + 2;
constexpr UINT WM_TEST_QUIT = WM_APP + 3;
constexpr UINT WM_TEST_PRETRANSLATE_THROWS = WM_APP + 4;

constexpr UINT_PTR kTimerTakenByWindowProc = 99;
constexpr UINT_PTR kTimerThatThrowsFileError = 13;
constexpr UINT_PTR kTimerThatRunsOutOfMemory = 14;

constexpr char kProgramName[] = "framework_window_test";

struct Report {
    std::string text;
    UINT message;
    HWND hwnd;
};

class CRecordingApp : public CWinApp {
public:
    BOOL InitInstance() override {
        initInstanceCalls++;
        if (initInstanceThrows) {
            AfxThrowFileException(CFileException::badPath, ERROR_PATH_NOT_FOUND, "Q:\\init");
        }
        if (initInstanceResult) {
            ::PostQuitMessage(4);
        }
        return initInstanceResult;
    }
    int ExitInstance() override {
        exitInstanceCalls++;
        return 9;
    }
    void ProcessWndProcException(const CException& e, const MSG* msg) override {
        reports.push_back({e.GetErrorMessage().GetString(), msg != nullptr ? msg->message : 0,
                           msg != nullptr ? msg->hwnd : nullptr});
        if (forwardToBase) {
            CWinApp::ProcessWndProcException(e, msg);
        }
    }

    void Reset() {
        reports.clear();
        forwardToBase = false;
        initInstanceResult = FALSE;
        initInstanceThrows = false;
        initInstanceCalls = 0;
        exitInstanceCalls = 0;
        m_pMainWnd = nullptr;
    }

    std::vector<Report> reports;
    bool forwardToBase = false;
    BOOL initInstanceResult = FALSE;
    bool initInstanceThrows = false;
    int initInstanceCalls = 0;
    int exitInstanceCalls = 0;
};

CRecordingApp theApp;

struct CtlColorCall {
    HDC dc = nullptr;
    CWnd* control = nullptr;
    HWND controlHwnd = nullptr;
    UINT type = 0xFFFF;
};

// The base of the probe: its table is reached through the probe's.
class CBaseProbeDlg : public CDialog {
public:
    CBaseProbeDlg() : CDialog(IDD_TEST_DIALOG) {}

    std::vector<std::string> events;
    CtlColorCall lastCtlColor;
    HBRUSH ctlColorBrush = reinterpret_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));

protected:
    afx_msg void OnTimer(UINT_PTR nIDEvent) {
        events.push_back("base OnTimer " + std::to_string(nIDEvent));
        if (nIDEvent == kTimerThatThrowsFileError) {
            AfxThrowFileException(CFileException::diskFull, ERROR_DISK_FULL, "C:\\w\\a.bin");
        }
        if (nIDEvent == kTimerThatRunsOutOfMemory) {
            throw std::bad_alloc();
        }
    }
    afx_msg void OnLButtonDown(UINT, CPoint) { events.push_back("base OnLButtonDown"); }
    afx_msg void OnTestButton() { events.push_back("base OnTestButton"); }
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
        lastCtlColor = {pDC->GetSafeHdc(), pWnd, pWnd != nullptr ? pWnd->m_hWnd : nullptr,
                        nCtlColor};
        return ctlColorBrush;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseProbeDlg, CDialog)
ON_WM_TIMER()
ON_WM_LBUTTONDOWN()
ON_COMMAND(IDC_TEST_BUTTON, &CBaseProbeDlg::OnTestButton)
ON_WM_CTLCOLOR()
ON_WM_QUERYENDSESSION()
END_MESSAGE_MAP()

class CProbeDlg : public CBaseProbeDlg {
public:
    // Runs inside OnInitDialog, with the window in place.
    std::function<void(CProbeDlg&)> script;
    std::vector<UINT> windowProcMessages;
    HWND hwndAtInit = nullptr;
    CPoint lastPoint;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        windowProcMessages.push_back(message);
        switch (message) {
        case WM_TIMER:
            if (wParam == kTimerTakenByWindowProc) {
                return 42;
            }
            break;
        case WM_TEST_SWALLOWED:
        case WM_TEST_SEEN:
        case WM_TEST_PRETRANSLATE_THROWS:
            events.push_back("WindowProc " + std::to_string(message - WM_APP));
            break;
        case WM_TEST_QUIT:
            ::PostQuitMessage(static_cast<int>(wParam));
            return 0;
        default:
            break;
        }
        return CBaseProbeDlg::WindowProc(message, wParam, lParam);
    }

    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message >= WM_APP && msg->message <= WM_TEST_PRETRANSLATE_THROWS) {
            events.push_back("PreTranslateMessage " + std::to_string(msg->message - WM_APP));
        }
        if (msg->message == WM_TEST_PRETRANSLATE_THROWS) {
            AfxThrowMemoryException();
        }
        if (msg->message == WM_TEST_SWALLOWED) {
            return TRUE;
        }
        return CBaseProbeDlg::PreTranslateMessage(msg);
    }

    BOOL OnInitDialog() override {
        CBaseProbeDlg::OnInitDialog();
        events.push_back("OnInitDialog");
        hwndAtInit = m_hWnd;
        if (script) {
            script(*this);
        }
        return TRUE;
    }

protected:
    afx_msg void OnLButtonDown(UINT, CPoint point) {
        events.push_back("OnLButtonDown");
        lastPoint = point;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeDlg, CBaseProbeDlg)
ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

bool Contains(const std::vector<std::string>& events, const std::string& event) {
    return std::find(events.begin(), events.end(), event) != events.end();
}

// Position of `event` in the log; the log's size when it is absent.
size_t IndexOf(const std::vector<std::string>& events, const std::string& event) {
    return static_cast<size_t>(std::find(events.begin(), events.end(), event) - events.begin());
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override { theApp.Reset(); }
    void TearDown() override { theApp.Reset(); }
};

TEST_F(Dialogs, DoModalEndsOnQuitWithItsCodeAndDestroysTheWindow) {
    CProbeDlg dialog;
    HWND label = nullptr;
    dialog.script = [&](CProbeDlg& self) {
        label = ::GetDlgItem(self.m_hWnd, IDC_TEST_LABEL);
        ::PostQuitMessage(7);
    };
    EXPECT_EQ(dialog.DoModal(), 7);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    ASSERT_NE(dialog.hwndAtInit, nullptr);
    EXPECT_FALSE(::IsWindow(dialog.hwndAtInit));
    EXPECT_NE(label, nullptr);
    EXPECT_TRUE(dialog.windowProcMessages.back() == WM_NCDESTROY);
}

TEST_F(Dialogs, WindowProcSeesTheDialogFromItsFirstMessagesAndOnlyTheDialog) {
    CProbeDlg dialog;
    CWnd* labelObject = &dialog;
    CWnd* dialogObject = nullptr;
    dialog.script = [&](CProbeDlg& self) {
        labelObject = CWnd::FromHandlePermanent(::GetDlgItem(self.m_hWnd, IDC_TEST_LABEL));
        dialogObject = CWnd::FromHandlePermanent(self.m_hWnd);
        ::PostQuitMessage(0);
    };
    dialog.DoModal();
    const std::vector<UINT>& seen = dialog.windowProcMessages;
    const auto at = [&seen](UINT message) {
        return std::find(seen.begin(), seen.end(), message) - seen.begin();
    };
    ASSERT_LT(at(WM_INITDIALOG), static_cast<long>(seen.size()));
    EXPECT_LT(at(WM_NCCREATE), at(WM_CREATE));
    EXPECT_LT(at(WM_CREATE), at(WM_INITDIALOG));
    EXPECT_EQ(dialog.events.front(), "OnInitDialog");
    EXPECT_EQ(dialogObject, &dialog);
    EXPECT_EQ(labelObject, nullptr);
}

TEST_F(Dialogs, PreTranslateMessageSeesPostedMessagesBeforeTheWindow) {
    CProbeDlg dialog;
    dialog.script = [](CProbeDlg& self) {
        self.PostMessage(WM_TEST_SWALLOWED);
        self.PostMessage(WM_TEST_SEEN);
        self.PostMessage(WM_TEST_QUIT, 5);
    };
    EXPECT_EQ(dialog.DoModal(), 5);
    const std::vector<std::string>& events = dialog.events;
    EXPECT_TRUE(Contains(events, "PreTranslateMessage 1"));
    EXPECT_FALSE(Contains(events, "WindowProc 1"));
    EXPECT_LT(IndexOf(events, "PreTranslateMessage 2"), IndexOf(events, "WindowProc 2"));
    EXPECT_TRUE(Contains(events, "WindowProc 2"));
}

TEST_F(Dialogs, KeyboardMessagesGoToTheDialogManager) {
    CProbeDlg dialog;
    dialog.script = [](CProbeDlg& self) {
        // Enter presses the default button, which only the dialog manager knows.
        self.PostMessage(WM_KEYDOWN, VK_RETURN, 1);
        self.PostMessage(WM_TEST_QUIT, 0);
    };
    dialog.DoModal();
    EXPECT_TRUE(Contains(dialog.events, "base OnTestButton"));
}

TEST_F(Dialogs, WindowProcComesBeforeTheTableAndDefaultReachesTheDialogProcedure) {
    CProbeDlg dialog;
    LRESULT taken = 0;
    LRESULT defaultId = 0;
    LRESULT endSession = 0;
    dialog.script = [&](CProbeDlg& self) {
        taken = self.SendMessage(WM_TIMER, kTimerTakenByWindowProc);
        self.SendMessage(WM_TIMER, 3);
        // Handled by nothing in the tables: the dialog procedure knows the default button.
        defaultId = self.SendMessage(DM_GETDEFID);
        // The table's entry runs CWnd's handler, whose Default gives the system's answer.
        endSession = self.SendMessage(WM_QUERYENDSESSION, 0, 0);
        ::PostQuitMessage(0);
    };
    dialog.DoModal();
    EXPECT_EQ(taken, 42);
    EXPECT_FALSE(Contains(dialog.events, "base OnTimer 99"));
    EXPECT_TRUE(Contains(dialog.events, "base OnTimer 3"));
    EXPECT_EQ(HIWORD(defaultId), DC_HASDEFID);
    EXPECT_EQ(LOWORD(defaultId), IDC_TEST_BUTTON);
    EXPECT_EQ(endSession, TRUE);
}

TEST_F(Dialogs, TheDerivedTableWinsAndTheBaseTableServesTheRest) {
    CProbeDlg dialog;
    dialog.script = [](CProbeDlg& self) {
        self.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(-5, 7));
        self.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, BN_CLICKED));
        self.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, EN_CHANGE));
        self.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TEST_LABEL, BN_CLICKED));
        ::PostQuitMessage(0);
    };
    dialog.DoModal();
    EXPECT_TRUE(Contains(dialog.events, "OnLButtonDown"));
    EXPECT_FALSE(Contains(dialog.events, "base OnLButtonDown"));
    EXPECT_EQ(dialog.lastPoint.x, -5);
    EXPECT_EQ(dialog.lastPoint.y, 7);
    EXPECT_EQ(std::count(dialog.events.begin(), dialog.events.end(), "base OnTestButton"), 1);
}

struct CtlColorCase {
    const char* name;
    UINT message;
    UINT type;
};

class CtlColorFamily : public ::testing::TestWithParam<CtlColorCase> {
protected:
    void SetUp() override { theApp.Reset(); }
};

TEST_P(CtlColorFamily, ReachesTheOneEntryWithTheControlAndItsType) {
    CProbeDlg dialog;
    const HDC screen = ::GetDC(nullptr);
    LRESULT brush = 0;
    HWND label = nullptr;
    dialog.script = [&](CProbeDlg& self) {
        label = ::GetDlgItem(self.m_hWnd, IDC_TEST_LABEL);
        brush = self.SendMessage(GetParam().message, reinterpret_cast<WPARAM>(screen),
                                 reinterpret_cast<LPARAM>(label));
        ::PostQuitMessage(0);
    };
    dialog.DoModal();
    ::ReleaseDC(nullptr, screen);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), dialog.ctlColorBrush);
    EXPECT_EQ(dialog.lastCtlColor.type, GetParam().type);
    EXPECT_EQ(dialog.lastCtlColor.dc, screen);
    EXPECT_EQ(dialog.lastCtlColor.controlHwnd, label);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, CtlColorFamily,
    ::testing::Values(CtlColorCase{"MessageBox", WM_CTLCOLORMSGBOX, CTLCOLOR_MSGBOX},
                      CtlColorCase{"Edit", WM_CTLCOLOREDIT, CTLCOLOR_EDIT},
                      CtlColorCase{"ListBox", WM_CTLCOLORLISTBOX, CTLCOLOR_LISTBOX},
                      CtlColorCase{"Button", WM_CTLCOLORBTN, CTLCOLOR_BTN},
                      CtlColorCase{"Dialog", WM_CTLCOLORDLG, CTLCOLOR_DLG},
                      CtlColorCase{"ScrollBar", WM_CTLCOLORSCROLLBAR, CTLCOLOR_SCROLLBAR},
                      CtlColorCase{"Static", WM_CTLCOLORSTATIC, CTLCOLOR_STATIC}),
    CaseName<CtlColorCase>);

TEST_F(Dialogs, TheDialogsOwnColourMessageNamesTheDialogObject) {
    CProbeDlg dialog;
    dialog.script = [](CProbeDlg& self) {
        self.SendMessage(WM_CTLCOLORDLG, 0, reinterpret_cast<LPARAM>(self.m_hWnd));
        ::PostQuitMessage(0);
    };
    dialog.DoModal();
    EXPECT_EQ(dialog.lastCtlColor.control, &dialog);
}

TEST_F(Dialogs, CenterWindowCentresInTheWorkAreaAndKeepsABigWindowInside) {
    CProbeDlg dialog;
    RECT small{};
    RECT big{};
    dialog.script = [&](CProbeDlg& self) {
        self.SetWindowPos(nullptr, 5, 5, 200, 100, SWP_NOZORDER);
        self.CenterWindow();
        ::GetWindowRect(self.m_hWnd, &small);
        self.SetWindowPos(nullptr, 5, 5, 3000, 2000, SWP_NOZORDER);
        self.CenterWindow();
        ::GetWindowRect(self.m_hWnd, &big);
        ::PostQuitMessage(0);
    };
    dialog.DoModal();
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(small.left, (work.left + work.right) / 2 - 100);
    EXPECT_EQ(small.top, (work.top + work.bottom) / 2 - 50);
    EXPECT_EQ(big.left, work.left);
    EXPECT_EQ(big.top, work.top);
}

TEST_F(Dialogs, ModifyStyleExChangesOnlyTheNamedBits) {
    CProbeDlg dialog;
    LONG before = 0;
    LONG after = 0;
    BOOL changed = FALSE;
    BOOL changedAgain = TRUE;
    dialog.script = [&](CProbeDlg& self) {
        ::SetWindowLongA(self.m_hWnd, GWL_EXSTYLE, WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME);
        before = ::GetWindowLongA(self.m_hWnd, GWL_EXSTYLE);
        changed = self.ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);
        after = ::GetWindowLongA(self.m_hWnd, GWL_EXSTYLE);
        changedAgain = self.ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);
        ::PostQuitMessage(0);
    };
    dialog.DoModal();
    EXPECT_TRUE(changed);
    EXPECT_FALSE(changedAgain);
    EXPECT_EQ(after, (before & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);
}

TEST_F(Dialogs, AnExceptionFromAHandlerReachesTheApplicationAndTheRunGoesOn) {
    CProbeDlg dialog;
    LRESULT result = -1;
    bool aliveAfterwards = false;
    dialog.script = [&](CProbeDlg& self) {
        result = self.SendMessage(WM_TIMER, kTimerThatThrowsFileError);
        self.SendMessage(WM_TIMER, kTimerThatRunsOutOfMemory);
        aliveAfterwards = ::IsWindow(self.m_hWnd) != FALSE;
        self.PostMessage(WM_TEST_PRETRANSLATE_THROWS);
        self.PostMessage(WM_TEST_QUIT, 0);
    };
    dialog.DoModal();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(aliveAfterwards);
    ASSERT_EQ(theApp.reports.size(), 3u);
    EXPECT_EQ(theApp.reports[0].text, "Disk full while accessing C:\\w\\a.bin.");
    EXPECT_EQ(theApp.reports[0].message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(theApp.reports[0].hwnd, dialog.hwndAtInit);
    EXPECT_EQ(theApp.reports[1].text, "Out of memory.");
    EXPECT_EQ(theApp.reports[2].text, "Out of memory.");
    EXPECT_EQ(theApp.reports[2].message, WM_TEST_PRETRANSLATE_THROWS);
    // The message after the one whose pre-translation failed still arrived.
    EXPECT_TRUE(Contains(dialog.events, "PreTranslateMessage 3"));
}

TEST_F(Dialogs, AnExceptionFromOnInitDialogIsReportedAndTheLoopStillRuns) {
    CProbeDlg dialog;
    dialog.script = [](CProbeDlg&) {
        ::PostQuitMessage(3);
        AfxThrowFileException(CFileException::accessDenied, ERROR_ACCESS_DENIED, "C:\\w\\b.bin");
    };
    EXPECT_EQ(dialog.DoModal(), 3);
    ASSERT_EQ(theApp.reports.size(), 1u);
    EXPECT_EQ(theApp.reports[0].text, "Access to C:\\w\\b.bin was denied.");
    EXPECT_EQ(theApp.reports[0].message, static_cast<UINT>(WM_INITDIALOG));
}

TEST_F(Dialogs, TheDefaultReportIsAStopBoxOwnedByTheMainWindow) {
    theApp.forwardToBase = true;
    CProbeDlg dialog;
    theApp.m_pMainWnd = &dialog;
    MessageBoxSeen seen;
    dialog.script = [&](CProbeDlg& self) {
        MessageBoxWatcher watcher(AfxGetAppName());
        self.SendMessage(WM_TIMER, kTimerThatThrowsFileError);
        seen = watcher.Result();
        ::PostQuitMessage(0);
    };
    dialog.DoModal();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, "Disk full while accessing C:\\w\\a.bin.");
    EXPECT_TRUE(ShowsSystemIcon(seen, IDI_HAND));
    EXPECT_EQ(seen.owner, dialog.hwndAtInit);
}

TEST_F(Dialogs, AMissingTemplateGivesMinusOneAtOnce) {
    CDialog dialog(4321);
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

class Entry : public ::testing::Test {
protected:
    void SetUp() override { theApp.Reset(); }
    void TearDown() override { theApp.Reset(); }
};

TEST_F(Entry, AFailedStartCallsExitInstanceAndRunsNoLoop) {
    char commandLine[] = "1 more";
    // A quit message left in the queue would be taken by a loop; none may run.
    ::PostQuitMessage(6);
    EXPECT_EQ(AfxWinMain(::GetModuleHandleA(nullptr), commandLine), 9);
    EXPECT_EQ(theApp.initInstanceCalls, 1);
    EXPECT_EQ(theApp.exitInstanceCalls, 1);
    EXPECT_EQ(theApp.m_lpCmdLine, commandLine);
    EXPECT_EQ(theApp.m_hInstance, ::GetModuleHandleA(nullptr));
    EXPECT_STREQ(theApp.m_pszAppName, kProgramName);
    EXPECT_STREQ(AfxGetAppName(), kProgramName);
    MSG left{};
    EXPECT_TRUE(::PeekMessageA(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(Entry, ASuccessfulStartRunsTheLoopUntilQuitThenExitInstance) {
    theApp.initInstanceResult = TRUE;
    char commandLine[] = "";
    EXPECT_EQ(AfxWinMain(::GetModuleHandleA(nullptr), commandLine), 9);
    EXPECT_EQ(theApp.initInstanceCalls, 1);
    EXPECT_EQ(theApp.exitInstanceCalls, 1);
}

TEST_F(Entry, AnExceptionFromInitInstanceIsReported) {
    theApp.initInstanceThrows = true;
    char commandLine[] = "";
    EXPECT_EQ(AfxWinMain(::GetModuleHandleA(nullptr), commandLine), -1);
    ASSERT_EQ(theApp.reports.size(), 1u);
    EXPECT_EQ(theApp.reports[0].text, "Q:\\init contains an invalid path.");
    EXPECT_EQ(theApp.exitInstanceCalls, 0);
}

TEST(Application, SetRegistryKeyStoresTheNamesAndWritesNothing) {
    constexpr char kKey[] = "Local AppWizard-Generated Applications";
    theApp.SetRegistryKey(kKey);
    EXPECT_STREQ(theApp.m_pszRegistryKey, kKey);
    EXPECT_STREQ(theApp.m_pszProfileName, AfxGetAppName());
    HKEY key = nullptr;
    EXPECT_NE(::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Local AppWizard-Generated Applications",
                              0, KEY_READ, &key),
              ERROR_SUCCESS);
}

} // namespace
