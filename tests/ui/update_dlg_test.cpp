// The status window under Wine: the real dialog from the real resources, run modally, answered
// and watched from a helper thread, with the real work folder, worker thread and WMI.
#include "window_run.h"

#include "app/update_app.h"
#include "disk_helpers.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using uitest::HeldFile;
using uitest::MessageBoxSeen;
using uitest::TimerTick;
using uitest::WindowRun;

class StartUpComEnvironment : public ::testing::Environment {
public:
    // The application has initialised COM on the window's thread before the window runs.
    void SetUp() override { ::CoInitialize(nullptr); }
    void TearDown() override { ::CoUninitialize(); }
};
[[maybe_unused]] ::testing::Environment* const startUpCom =
    ::testing::AddGlobalTestEnvironment(new StartUpComEnvironment);

const char kConfirmation[] = "You must close all the application now since the system will "
                             "restart after BIOS update is completed.\nProceed BIOS update now?";

const std::set<std::string> kUtilityFiles = {"SWinFlash.exe", "mfc42.dll",   "msvcp60.dll",
                                             "msvcrt.dll",    "PHLASH.INI",  "PhlashLc.dll",
                                             "Phlash9X.vxd",  "PhlashNT.sys"};
const char kImageFile[] = "mirtsf13.imc";

std::set<std::string> PayloadFiles() {
    std::set<std::string> files = kUtilityFiles;
    files.insert(kImageFile);
    return files;
}

bool CoversScreenOnTop(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return rect.left == 0 && rect.top == 0 && rect.right == ::GetSystemMetrics(SM_CXSCREEN) &&
           rect.bottom == ::GetSystemMetrics(SM_CYSCREEN) &&
           (::GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

class StatusWindow : public ::testing::Test {
protected:
    void SetUp() override {
        disk::RemoveTree(workFolder);
        application.m_pMainWnd = &dialog;
    }

    void TearDown() override {
        application.m_pMainWnd = nullptr;
        EXPECT_EQ(std::vector<std::string>(), run.Failures());
        disk::RemoveTree(workFolder);
    }

    std::string WorkFile(const std::string& name) const { return run.WorkFile(name); }

    struct SentAnswers {
        std::vector<LRESULT> window;  // what the running status window answered
        std::vector<LRESULT> dialogs; // what the default dialog procedure answers
    };

    // Sends `message` with each parameter pair to the running window, and asks the default
    // dialog procedure the same on the window's thread, so each answer can be set against it.
    SentAnswers SendDuringRun(UINT message, const std::vector<std::pair<WPARAM, LPARAM>>& params) {
        SentAnswers answers;
        const INT_PTR result = run.Run([&](WindowRun& user) {
            if (!user.ConfirmAndWaitForWorker()) {
                return;
            }
            const HWND window = user.Window();
            for (const auto& [wParam, lParam] : params) {
                answers.window.push_back(::SendMessageA(window, message, wParam, lParam));
                user.OnWindowThread([&] {
                    answers.dialogs.push_back(::DefDlgProcA(window, message, wParam, lParam));
                });
            }
            user.ReleaseWorker();
        });
        EXPECT_EQ(0, result);
        EXPECT_EQ(params.size(), answers.window.size());
        EXPECT_EQ(params.size(), answers.dialogs.size());
        return answers;
    }

    // The real application object: it reports an exception that abandoned a handler of its
    // main window, and ends the run.
    CUpdateApp application;
    CUpdateDlg dialog;
    WindowRun run{dialog};
    const std::string workFolder = uitest::ExpectedWorkFolder();
};

TEST_F(StatusWindow, DecliningRemovesLeftoversWritesNothingAndNeverCoversTheScreen) {
    ASSERT_TRUE(disk::CreateFolders(workFolder));
    ASSERT_TRUE(disk::WriteAll(WorkFile("SWinFlash.exe"), "left by an interrupted run"));
    ASSERT_TRUE(disk::WriteAll(WorkFile("PHLASH.txt"), "left by the flash utility"));

    MessageBoxSeen question;
    const INT_PTR result = run.Run([&](WindowRun& user) {
        question = user.WaitForBox("BIOS update");
        WindowRun::Press(question, IDNO);
    });

    EXPECT_EQ(0, result);
    EXPECT_EQ(run.Window(), question.owner);
    EXPECT_EQ(kConfirmation, question.text);
    EXPECT_EQ((std::vector<int>{IDYES, IDNO}), question.buttons);
    EXPECT_EQ(IDYES, question.defaultButton);
    EXPECT_EQ(nullptr, question.icon);

    EXPECT_FALSE(disk::Exists(workFolder));
    EXPECT_FALSE(run.EverTopmost());
    EXPECT_FALSE(run.EverCoveredScreen());
    EXPECT_TRUE(run.WindowPauses().empty());
    EXPECT_FALSE(run.WorkerStarted());
}

TEST_F(StatusWindow, ConfirmingWritesThePayloadAndShowsATopmostFullScreenToolWindow) {
    struct {
        std::set<std::string> files;
        bool coversScreen = false;
        LONG extendedStyle = 0;
        std::string title;
        HICON bigIcon = nullptr;
        HICON smallIcon = nullptr;
        HICON dragIcon = nullptr;
        CString status;
    } seen;

    const INT_PTR result = run.Run([&](WindowRun& user) {
        if (!user.ConfirmAndWaitForWorker()) {
            return;
        }
        const HWND window = user.Window();
        seen.files = disk::List(workFolder);
        seen.coversScreen = CoversScreenOnTop(window);
        seen.extendedStyle = ::GetWindowLongA(window, GWL_EXSTYLE);
        char title[256] = {};
        ::GetWindowTextA(window, title, sizeof title);
        seen.title = title;
        seen.bigIcon = reinterpret_cast<HICON>(::SendMessageA(window, WM_GETICON, ICON_BIG, 0));
        seen.smallIcon = reinterpret_cast<HICON>(::SendMessageA(window, WM_GETICON, ICON_SMALL, 0));
        seen.dragIcon = reinterpret_cast<HICON>(::SendMessageA(window, WM_QUERYDRAGICON, 0, 0));
        user.OnWindowThread([&] { seen.status = dialog.GetStatus(); });
        user.ReleaseWorker();
    });

    EXPECT_EQ(0, result);
    EXPECT_EQ(PayloadFiles(), seen.files);
    EXPECT_TRUE(seen.coversScreen);
    EXPECT_NE(0, seen.extendedStyle & WS_EX_TOOLWINDOW);
    EXPECT_EQ(0, seen.extendedStyle & WS_EX_APPWINDOW);
    EXPECT_EQ("BIOS Update Program", seen.title);
    ASSERT_NE(nullptr, dialog.m_hIcon);
    EXPECT_EQ(dialog.m_hIcon, seen.bigIcon);
    EXPECT_EQ(dialog.m_hIcon, seen.smallIcon);
    EXPECT_EQ(dialog.m_hIcon, seen.dragIcon);
    EXPECT_STREQ("Initializing for BIOS update", seen.status);
    EXPECT_EQ(std::vector<DWORD>{2000}, run.WindowPauses());
    // Wine's BIOS is not of the image's platform: the worker ends the run without a flash.
    EXPECT_FALSE(disk::Exists(workFolder));
}

TEST_F(StatusWindow, AnimationStartsOnlyOnceTheImageIsWrittenAndTheWorkerStarted) {
    const INT_PTR result = run.Run([&](WindowRun& user) {
        if (!user.ConfirmAndWaitForWorker()) {
            return;
        }
        for (int polls = 0; polls < 500; ++polls) {
            const std::vector<TimerTick> ticks = user.Ticks();
            if (std::count_if(ticks.begin(), ticks.end(),
                              [](const TimerTick& tick) { return tick.id == IDT_ANIMATE; }) >= 3) {
                break;
            }
            ::Sleep(20);
        }
        user.ReleaseWorker();
    });
    EXPECT_EQ(0, result);

    std::vector<TimerTick> animation;
    int starts = 0;
    for (const TimerTick& tick : run.Ticks()) {
        if (tick.id == IDT_START) {
            EXPECT_TRUE(animation.empty()) << "the start timer fired after the animation began";
            ++starts;
        } else if (tick.id == IDT_ANIMATE) {
            animation.push_back(tick);
        }
    }
    EXPECT_EQ(1, starts);
    ASSERT_GE(animation.size(), 3u);
    EXPECT_TRUE(animation[0].imageOnDisk);
    EXPECT_STREQ(kImageFile, animation[0].imageFile);
    EXPECT_TRUE(animation[0].workerCreated);
    // Each tick advances the counter by one, from 0 before the first.
    for (size_t index = 0; index < 3; ++index) {
        EXPECT_EQ(static_cast<int>(index), animation[index].progressBefore) << "tick " << index;
    }
}

TEST_F(StatusWindow, ProgressCounterRunsFromOneToThirtyOneThenZeroAndKeepsTheWindowOnTop) {
    std::vector<int> progress;
    bool coveredAfterFirstTick = false;
    const INT_PTR result = run.Run([&](WindowRun& user) {
        if (!user.ConfirmAndWaitForWorker()) {
            return;
        }
        const HWND window = user.Window();
        user.OnWindowThread([&] {
            // Only the ticks sent here count; the window loses its place on the screen first.
            ::KillTimer(window, IDT_ANIMATE);
            dialog.m_nProgress = 0;
            ::SetWindowPos(window, HWND_NOTOPMOST, 10, 10, 200, 100, SWP_SHOWWINDOW);
            for (int tick = 1; tick <= 33; ++tick) {
                ::SendMessageA(window, WM_TIMER, IDT_ANIMATE, 0);
                progress.push_back(dialog.m_nProgress);
                if (tick == 1) {
                    coveredAfterFirstTick = CoversScreenOnTop(window);
                }
            }
        });
        user.ReleaseWorker();
    });
    EXPECT_EQ(0, result);

    ASSERT_EQ(33u, progress.size());
    const struct {
        int tick;
        int counter;
    } expected[] = {{1, 1}, {2, 2}, {16, 16}, {30, 30}, {31, 31}, {32, 0}, {33, 1}};
    for (const auto& row : expected) {
        EXPECT_EQ(row.counter, progress[static_cast<size_t>(row.tick - 1)]) << "tick " << row.tick;
    }
    EXPECT_TRUE(coveredAfterFirstTick);
}

TEST_F(StatusWindow, CloseRequestsRemoveThePayloadButTheWindowStaysAndTheRunGoesOn) {
    const struct {
        const char* name;
        UINT message;
        WPARAM wParam;
    } requests[] = {{"WM_CLOSE", WM_CLOSE, 0}, {"Alt+F4", WM_SYSCOMMAND, SC_CLOSE}};
    struct Seen {
        LRESULT result = -1;
        bool folderLeft = true;
        bool windowShown = false;
        bool ended = true;
    };
    std::vector<Seen> seen;

    const INT_PTR result = run.Run([&](WindowRun& user) {
        if (!user.ConfirmAndWaitForWorker()) {
            return;
        }
        const HWND window = user.Window();
        for (const auto& request : requests) {
            // Each request finds a payload to remove.
            disk::CreateFolders(workFolder);
            disk::WriteAll(WorkFile("SWinFlash.exe"), "payload");
            Seen row;
            row.result = ::SendMessageA(window, request.message, request.wParam, 0);
            user.DrainWindowQueue();
            row.folderLeft = disk::Exists(workFolder);
            row.windowShown = ::IsWindowVisible(window) != FALSE;
            row.ended = user.Ended();
            seen.push_back(row);
        }
        user.ReleaseWorker();
    });
    EXPECT_EQ(0, result);

    ASSERT_EQ(std::size(requests), seen.size());
    for (size_t index = 0; index < seen.size(); ++index) {
        SCOPED_TRACE(requests[index].name);
        EXPECT_EQ(0, seen[index].result);
        EXPECT_FALSE(seen[index].folderLeft);
        EXPECT_TRUE(seen[index].windowShown);
        EXPECT_FALSE(seen[index].ended);
    }
}

TEST_F(StatusWindow, EnterAndEscapeNeitherEndTheWindowNorReachTheDialogManager) {
    bool endedAfterKeys = true;
    bool windowAfterKeys = false;
    const INT_PTR result = run.Run([&](WindowRun& user) {
        if (!user.ConfirmAndWaitForWorker()) {
            return;
        }
        const HWND window = user.Window();
        for (const WPARAM key : {VK_RETURN, VK_ESCAPE}) {
            ::PostMessageA(window, WM_KEYDOWN, key, 1);
            ::PostMessageA(window, WM_KEYUP, key, 0xC0000001);
        }
        user.DrainWindowQueue();
        endedAfterKeys = user.Ended();
        windowAfterKeys = ::IsWindowVisible(window) != FALSE;
        user.ReleaseWorker();
    });
    EXPECT_EQ(0, result);

    EXPECT_FALSE(endedAfterKeys);
    EXPECT_TRUE(windowAfterKeys);
    // The dialog manager would have turned Enter into IDOK and Escape into IDCANCEL.
    for (const UINT command : run.CommandsSent()) {
        EXPECT_NE(static_cast<UINT>(IDOK), command);
        EXPECT_NE(static_cast<UINT>(IDCANCEL), command);
    }
}

TEST_F(StatusWindow, SuspendIsDeniedAndOtherPowerEventsGetTheDefaultAnswer) {
    const struct {
        const char* name;
        WPARAM event;
        bool denied;
    } rows[] = {{"PBT_APMQUERYSUSPEND", PBT_APMQUERYSUSPEND, true},
                {"PBT_APMSUSPEND", PBT_APMSUSPEND, true},
                {"PBT_APMRESUMESUSPEND", PBT_APMRESUMESUSPEND, false},
                {"PBT_APMPOWERSTATUSCHANGE", PBT_APMPOWERSTATUSCHANGE, false},
                {"PBT_APMRESUMEAUTOMATIC", PBT_APMRESUMEAUTOMATIC, false}};
    std::vector<std::pair<WPARAM, LPARAM>> params;
    for (const auto& row : rows) {
        params.emplace_back(row.event, 0);
    }

    const SentAnswers answers = SendDuringRun(WM_POWERBROADCAST, params);
    ASSERT_EQ(std::size(rows), answers.window.size());
    ASSERT_EQ(std::size(rows), answers.dialogs.size());
    for (size_t index = 0; index < std::size(rows); ++index) {
        SCOPED_TRACE(rows[index].name);
        EXPECT_NE(BROADCAST_QUERY_DENY, answers.dialogs[index]);
        EXPECT_EQ(rows[index].denied ? BROADCAST_QUERY_DENY : answers.dialogs[index],
                  answers.window[index]);
    }
}

TEST_F(StatusWindow, LogOffRestartAndShutDownAreRefused) {
    const struct {
        const char* name;
        LPARAM reason;
    } rows[] = {{"shut-down or restart", 0}, {"log-off", static_cast<LPARAM>(ENDSESSION_LOGOFF)}};
    std::vector<std::pair<WPARAM, LPARAM>> params;
    for (const auto& row : rows) {
        params.emplace_back(0, row.reason);
    }

    const SentAnswers answers = SendDuringRun(WM_QUERYENDSESSION, params);
    ASSERT_EQ(std::size(rows), answers.window.size());
    ASSERT_EQ(std::size(rows), answers.dialogs.size());
    for (size_t index = 0; index < std::size(rows); ++index) {
        SCOPED_TRACE(rows[index].name);
        EXPECT_NE(FALSE, answers.dialogs[index]);
        EXPECT_EQ(FALSE, answers.window[index]);
    }
}

TEST_F(StatusWindow, DialogBackgroundIsOneBlackBrushForTheWholeWindow) {
    std::vector<HBRUSH> brushes;
    std::vector<COLORREF> backgrounds;
    const INT_PTR result = run.Run([&](WindowRun& user) {
        if (!user.ConfirmAndWaitForWorker()) {
            return;
        }
        const HWND window = user.Window();
        user.OnWindowThread([&] {
            const HDC screen = ::GetDC(nullptr);
            const HDC dc = ::CreateCompatibleDC(screen);
            for (const UINT message : {WM_CTLCOLORDLG, WM_CTLCOLORDLG, WM_CTLCOLORSTATIC}) {
                ::SetBkColor(dc, RGB(255, 255, 255));
                brushes.push_back(reinterpret_cast<HBRUSH>(
                    ::SendMessageA(window, message, reinterpret_cast<WPARAM>(dc),
                                   reinterpret_cast<LPARAM>(window))));
                backgrounds.push_back(::GetBkColor(dc));
            }
            ::DeleteDC(dc);
            ::ReleaseDC(nullptr, screen);
        });
        user.ReleaseWorker();
    });
    EXPECT_EQ(0, result);

    ASSERT_EQ(3u, brushes.size());
    LOGBRUSH brush{};
    ASSERT_EQ(static_cast<int>(sizeof brush), ::GetObjectA(brushes[0], sizeof brush, &brush));
    EXPECT_EQ(static_cast<UINT>(BS_SOLID), brush.lbStyle);
    EXPECT_EQ(RGB(0, 0, 0), brush.lbColor);
    EXPECT_EQ(brushes[0], brushes[1]);
    EXPECT_EQ(brushes[0], brushes[2]);
    for (const COLORREF background : backgrounds) {
        EXPECT_EQ(RGB(0, 0, 0), background);
    }
}

TEST_F(StatusWindow, ExitTimerRemovesThePayloadAndEndsTheRun) {
    bool ended = false;
    const INT_PTR result = run.Run([&](WindowRun& user) {
        if (!user.ConfirmAndWaitForWorker()) {
            return;
        }
        // The worker is still held: only the timer can end the run here.
        ::PostMessageA(user.Window(), WM_TIMER, IDT_EXIT, 0);
        ended = user.WaitForEnd();
    });
    EXPECT_TRUE(ended);
    EXPECT_EQ(0, result);
    EXPECT_FALSE(disk::Exists(workFolder));
}

TEST_F(StatusWindow, RepeatedStartTimerStartsNoSecondWorker) {
    CHWDriverDownloadThread* workerBefore = nullptr;
    CHWDriverDownloadThread* workerAfter = nullptr;
    const INT_PTR result = run.Run([&](WindowRun& user) {
        if (!user.ConfirmAndWaitForWorker()) {
            return;
        }
        user.OnWindowThread([&] { workerBefore = dialog.m_pUpdateThread; });
        ::PostMessageA(user.Window(), WM_TIMER, IDT_START, 0);
        user.DrainWindowQueue();
        user.OnWindowThread([&] { workerAfter = dialog.m_pUpdateThread; });
        user.ReleaseWorker();
    });
    EXPECT_EQ(0, result);
    EXPECT_NE(nullptr, workerBefore);
    EXPECT_EQ(workerBefore, workerAfter);
    EXPECT_EQ(1, run.WorkerThreadsSeen());
}

TEST_F(StatusWindow, AbandoningARunWhoseWorkerRunsLeavesTheEndToTheWorker) {
    std::set<std::string> filesAfterAbandon;
    bool endedAfterAbandon = true;
    const INT_PTR result = run.Run([&](WindowRun& user) {
        if (!user.ConfirmAndWaitForWorker()) {
            return;
        }
        user.OnWindowThread([&] { dialog.AbandonRun(); });
        user.DrainWindowQueue();
        filesAfterAbandon = disk::List(workFolder);
        endedAfterAbandon = user.Ended();
        user.ReleaseWorker();
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(PayloadFiles(), filesAfterAbandon);
    EXPECT_FALSE(endedAfterAbandon);
}

struct FinishCase {
    const char* name;
    bool backupLeft;
    bool folderRemains;
};

class StatusWindowFinish : public StatusWindow, public ::testing::WithParamInterface<FinishCase> {};

TEST_P(StatusWindowFinish, FinishingMessageKeepsAnEmptyFolderOnlyBehindABackup) {
    const INT_PTR result = run.Run([&](WindowRun& user) {
        if (!user.ConfirmAndWaitForWorker()) {
            return;
        }
        if (GetParam().backupLeft) {
            disk::WriteAll(WorkFile("BIOS.bak"), "the old BIOS");
        }
        ::PostMessageA(user.Window(), WM_UPDATE_FINISH, 0, 0);
        user.WaitForEnd();
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(GetParam().folderRemains, disk::IsDirectory(workFolder));
    EXPECT_EQ(std::set<std::string>(), disk::List(workFolder));
}

INSTANTIATE_TEST_SUITE_P(Backup, StatusWindowFinish,
                         ::testing::Values(FinishCase{"BackupLeft", true, true},
                                           FinishCase{"NoBackup", false, false}),
                         [](const ::testing::TestParamInfo<FinishCase>& param) {
                             return std::string(param.param.name);
                         });

// A payload file that another program holds open cannot be written again: the framework's file
// error abandons the handler that was writing it.
class StatusWindowAbandoned : public StatusWindow {
protected:
    // Plays the user through the report: confirms, answers the report with OK once it is seen.
    void AnswerReport(WindowRun& user) {
        reportSeenBeforeEnd = !user.Ended();
        report = user.WaitForBox(AfxGetAppName());
        reportSeenBeforeEnd = reportSeenBeforeEnd && report.box != nullptr && !user.Ended();
        WindowRun::Press(report, IDOK);
        user.WaitForEnd();
    }

    void ExpectReportAbout(const std::string& fileName) const {
        EXPECT_EQ(run.Window(), report.owner);
        EXPECT_NE(std::string::npos, report.text.find(fileName)) << report.text;
        EXPECT_EQ(::LoadIconA(nullptr, IDI_HAND), report.icon);
        EXPECT_EQ(std::vector<int>{IDOK}, report.buttons);
        EXPECT_TRUE(reportSeenBeforeEnd);
    }

    MessageBoxSeen report;
    bool reportSeenBeforeEnd = false;
};

TEST_F(StatusWindowAbandoned, InitialisationIsReportedAndTheRunStillEndsInOrder) {
    ASSERT_TRUE(disk::CreateFolders(workFolder));
    ASSERT_TRUE(disk::WriteAll(WorkFile("PHLASH.txt"), "left by the flash utility"));
    HeldFile held(WorkFile("mfc42.dll"));
    ASSERT_TRUE(held.IsOpen());

    const INT_PTR result = run.Run([&](WindowRun& user) {
        WindowRun::Press(user.WaitForBox("BIOS update"), IDYES);
        AnswerReport(user);
    });
    const std::set<std::string> filesLeft = disk::List(workFolder);
    held.Close();

    EXPECT_EQ(0, result);
    ExpectReportAbout("mfc42.dll");
    // Cleaned up: only the held name is left; nothing after it was written.
    EXPECT_EQ(std::set<std::string>{"mfc42.dll"}, filesLeft);
    EXPECT_FALSE(run.EverCoveredScreen());
    EXPECT_TRUE(run.WindowPauses().empty());
    EXPECT_FALSE(run.WorkerStarted());
}

TEST_F(StatusWindowAbandoned, StartIsReportedAndTheRunStillEndsInOrder) {
    std::unique_ptr<HeldFile> heldImage;
    run.HoldWindowPause();

    const INT_PTR result = run.Run([&](WindowRun& user) {
        WindowRun::Press(user.WaitForBox("BIOS update"), IDYES);
        if (!user.WaitForWindowPause()) {
            return;
        }
        // The utility's files are written; the image is written at the start.
        heldImage = std::make_unique<HeldFile>(WorkFile(kImageFile));
        user.ReleaseWindowPause();
        AnswerReport(user);
    });
    const std::set<std::string> filesLeft = disk::List(workFolder);
    heldImage.reset();

    EXPECT_EQ(0, result);
    ExpectReportAbout(kImageFile);
    EXPECT_EQ(std::set<std::string>{kImageFile}, filesLeft);
    EXPECT_TRUE(run.EverCoveredScreen());
    EXPECT_FALSE(run.WorkerStarted());
}

} // namespace
