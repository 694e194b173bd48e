// The status window under Wine: the real dialog from the real resources, run modally and played
// from a helper thread, with the real work folder, worker and WMI. Only what a whole run of the
// program cannot provoke: the power and session answers, keys, a repeated start timer, the
// animation's counter, and runs abandoned by an exception.
#include "window_run.h"

#include "app/update_app.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <optional>

namespace {

class StatusWindow : public ::testing::Test {
protected:
    void SetUp() override {
        support::RemoveTree(support::WorkFolder());
        application.m_pMainWnd = &dialog;
        s_test = this;
    }

    void TearDown() override { support::RemoveTree(support::WorkFolder()); }

    // Puts a spy in front of the window's procedure, confirms and returns the window once the
    // worker is held at its first pause.
    HWND Start(WindowRun& user) {
        const HWND window = support::WaitForMessageBox("BIOS update").owner;
        user.OnWindowThread([&] {
            next = reinterpret_cast<WNDPROC>(
                ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Spy)));
        });
        return user.ConfirmAndWaitForWorker();
    }

    // Records on the window's thread what reaches the window's procedure.
    static LRESULT CALLBACK Spy(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        StatusWindow& test = *s_test;
        if (message == WM_COMMAND) {
            test.commands.push_back(LOWORD(wParam));
        } else if (message == WM_TIMER && wParam == IDT_ANIMATE && !test.ticked) {
            test.firstTickAfterStart = test.dialog.m_nProgress == 0 &&
                                       test.dialog.m_pUpdateThread != nullptr &&
                                       support::Exists(support::WorkFolder() + "\\mirtsf13.imc");
            test.ticked = true;
        }
        return ::CallWindowProcA(test.next, hwnd, message, wParam, lParam);
    }

    // The application's COM apartment on the window's thread, which the WMI query needs.
    struct Apartment {
        Apartment() { ::CoInitialize(nullptr); }
        ~Apartment() { ::CoUninitialize(); }
    } apartment;
    // The real application object: it reports an exception that abandons a handler of its main
    // window, and ends the run.
    CUpdateApp application;
    CUpdateDlg dialog;
    WindowRun run{dialog};
    static inline StatusWindow* s_test = nullptr;
    WNDPROC next = nullptr;
    std::vector<WORD> commands;
    std::atomic<bool> ticked{false};
    // At the first animation tick: the counter still 0, the image written, the worker started.
    bool firstTickAfterStart = false;
};

TEST_F(StatusWindow, SuspendAndSessionEndAreRefusedOtherPowerEventsGetTheDefault) {
    const struct {
        const char* name;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::optional<LRESULT> refusal; // none: the default dialog's answer
    } rows[] = {
        {"suspend query", WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0, BROADCAST_QUERY_DENY},
        {"suspend", WM_POWERBROADCAST, PBT_APMSUSPEND, 0, BROADCAST_QUERY_DENY},
        {"resume", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0, std::nullopt},
        {"shut-down or restart", WM_QUERYENDSESSION, 0, 0, FALSE},
        {"log-off", WM_QUERYENDSESSION, 0, static_cast<LPARAM>(ENDSESSION_LOGOFF), FALSE},
    };
    std::vector<std::pair<LRESULT, LRESULT>> answers; // the window's, the default dialog's
    EXPECT_EQ(0, run.Run([&](WindowRun& user) {
        const HWND window = Start(user);
        for (const auto& row : rows) {
            const LRESULT answer = ::SendMessageA(window, row.message, row.wParam, row.lParam);
            user.OnWindowThread([&] {
                answers.emplace_back(answer,
                                     ::DefDlgProcA(window, row.message, row.wParam, row.lParam));
            });
        }
        user.ReleaseWorker();
    }));
    ASSERT_EQ(std::size(rows), answers.size());
    for (size_t index = 0; index < answers.size(); ++index) {
        SCOPED_TRACE(rows[index].name);
        const auto [answer, byDefault] = answers[index];
        EXPECT_EQ(rows[index].refusal.value_or(byDefault), answer);
        EXPECT_TRUE(!rows[index].refusal || *rows[index].refusal != byDefault);
    }
}

// Once the worker runs, only the worker ends the run: perhaps only after the flash.
TEST_F(StatusWindow, KeysARepeatedStartOrAnAbandoningNeitherEndNorRestartARunningRun) {
    std::set<std::string> before;
    std::set<std::string> after;
    bool ended = true;
    EXPECT_EQ(0, run.Run([&](WindowRun& user) {
        const HWND window = Start(user);
        before = support::List(support::WorkFolder());
        for (const WPARAM key : {VK_RETURN, VK_ESCAPE}) {
            ::PostMessageA(window, WM_KEYDOWN, key, 1);
            ::PostMessageA(window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
        }
        ::PostMessageA(window, WM_TIMER, IDT_START, 0);
        user.OnWindowThread([&] { dialog.AbandonRun(); });
        user.OnWindowThread([] {}); // and what that may have posted
        after = support::List(support::WorkFolder());
        ended = user.Ended();
        user.ReleaseWorker();
    }));
    EXPECT_FALSE(ended);
    // The dialog manager would have turned Enter into IDOK and Escape into IDCANCEL.
    EXPECT_EQ(std::vector<WORD>(), commands);
    EXPECT_EQ(1, run.WorkerThreads());
    EXPECT_FALSE(before.empty());
    EXPECT_EQ(before, after);
}

TEST_F(StatusWindow, AnimationBeginsAfterTheStartAndCountsOneToThirtyOneThenZero) {
    std::vector<int> counter;
    EXPECT_EQ(0, run.Run([&](WindowRun& user) {
        const HWND window = Start(user);
        for (int polls = 0; polls < 500 && !ticked; ++polls) {
            ::Sleep(10);
        }
        user.OnWindowThread([&] {
            // From the state before the first tick, only the ticks sent here count.
            ::KillTimer(window, IDT_ANIMATE);
            dialog.m_nProgress = 0;
            for (int tick = 1; tick <= 33; ++tick) {
                ::SendMessageA(window, WM_TIMER, IDT_ANIMATE, 0);
                counter.push_back(dialog.m_nProgress);
            }
        });
        user.ReleaseWorker();
    }));
    EXPECT_TRUE(firstTickAfterStart);
    for (int tick = 1; tick <= 33; ++tick) { // 1, 2, ..., 31, 0, 1
        EXPECT_EQ(tick % 32, counter.at(static_cast<size_t>(tick - 1))) << "tick " << tick;
    }
}

// A payload file held open by another program cannot be written again: the framework's file error
// abandons the handler that writes it (the utility's files: the initialisation; the image: the
// start).
class AbandonedRun : public StatusWindow, public ::testing::WithParamInterface<const char*> {};

TEST_P(AbandonedRun, IsReportedAndStillEndsInOrder) {
    const std::string held = GetParam();
    ASSERT_TRUE(support::CreateFolders(support::WorkFolder()));
    KernelHandle file(::CreateFileA((support::WorkFolder() + "\\" + held).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, 0,
                                    nullptr));
    ASSERT_TRUE(file);
    support::MessageBoxSeen report;
    bool reportedBeforeEnd = false;
    EXPECT_EQ(0, run.Run([&](WindowRun& user) {
        support::Press(support::WaitForMessageBox("BIOS update"), IDYES);
        report = support::WaitForMessageBox(AfxGetAppName());
        reportedBeforeEnd = report.found && !user.Ended();
        support::Press(report, IDOK);
    }));
    const std::set<std::string> left = support::List(support::WorkFolder());
    file.Reset();
    EXPECT_TRUE(reportedBeforeEnd);
    EXPECT_NE(std::string::npos, report.text.find(held)) << report.text;
    // Cleaned up, with only the held name left, and no worker ever ran.
    EXPECT_EQ(std::set<std::string>{held}, left);
    EXPECT_EQ(0, run.WorkerThreads());
}

INSTANTIATE_TEST_SUITE_P(HeldPayloadFile, AbandonedRun,
                         ::testing::Values("mfc42.dll", "mirtsf13.imc"));

} // namespace
