// The status window under Wine: the real dialog from the real resources, run modally and played
// from a helper thread, with the real work folder, worker and WMI. Only what a whole run of the
// program cannot provoke: keys, a repeated start timer, the animation's counter, the window
// object's life beside its worker, and the exceptions and ends that come before or in the worker.
#include "window_run.h"

#include "app/update_app.h"
#include "import_patch.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <optional>
#include <thread>

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

// However its run ended, the window object waits for a worker that may still use it.
TEST_F(StatusWindow, TheWindowObjectOutlivesItsWorker) {
    std::optional<CUpdateDlg> window(std::in_place);
    WindowRun held(*window);
    EXPECT_EQ(0, held.Run([](WindowRun& user) {
        ::PostMessageA(user.ConfirmAndWaitForWorker(), WM_UPDATE_QUIT, 0, 0);
    }));
    std::atomic<bool> gone{false};
    std::thread destroy([&] {
        window.reset();
        gone = true;
    });
    ::Sleep(300);
    const bool goneWhileWorkerHeld = gone;
    held.ReleaseWorker();
    destroy.join();
    EXPECT_FALSE(goneWhileWorkerHeld);
}

// Faults before or in the worker. The utility's files or the image held open by another program:
// the framework's file error abandons the handler that writes them (the initialisation, the
// start). An exception in the worker's run. One failed paint, on its own or while the start waits
// for WMI (here missing). The run ended while the start waits for WMI.
enum class Fault { HeldFile, WorkerOutOfMemory, FailedPaint, FailedPaintInQuery, EndedInQuery };

struct FaultCase {
    const char* name;
    Fault fault;
    std::string held;   // the file held open, left over afterwards
    std::string report; // in the report's text; empty: no report
    bool goesOn;        // the worker starts and the run goes on until it ends the run
    int workers;
};

Fault g_fault;
std::atomic<int> g_failingDcs{0};
decltype(&::GetDC) g_getDc = nullptr;

HDC WINAPI GetDcUnlessFailing(HWND window) {
    return g_failingDcs.fetch_sub(1) > 0 ? nullptr : g_getDc(window);
}

HRESULT WINAPI NoWmi(REFCLSID, IUnknown*, DWORD, REFIID, void** object) {
    *object = nullptr;
    const HWND window = AfxGetMainWnd()->GetSafeHwnd();
    if (g_fault == Fault::FailedPaintInQuery) { // as a message COM pumps meanwhile
        g_failingDcs = 1;
        ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    } else if (g_fault == Fault::EndedInQuery) {
        ::SendMessageA(window, WM_UPDATE_FINISH, 0, 0);
    }
    return REGDB_E_CLASSNOTREG;
}

class FaultyRun : public StatusWindow, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultyRun, IsReportedAndEndsInOrder) {
    const FaultCase& row = GetParam();
    const ImportPatch getDc("user32.dll", "GetDC", &GetDcUnlessFailing);
    const ImportPatch locator("ole32.dll", "CoCreateInstance", &NoWmi);
    ASSERT_TRUE(getDc.Applied() && locator.Applied());
    g_getDc = getDc.Original();
    g_fault = row.fault;
    g_failingDcs = row.fault == Fault::FailedPaint ? 1 : 0; // the first paint, after the question
    ASSERT_TRUE(support::CreateFolders(support::WorkFolder()));
    KernelHandle file;
    if (!row.held.empty()) {
        file.Reset(::CreateFileA((support::WorkFolder() + "\\" + row.held).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, 0,
                                 nullptr));
        ASSERT_TRUE(file);
    }
    support::MessageBoxSeen report;
    bool reportedBeforeEnd = false;
    bool wentOn = false;
    EXPECT_EQ(0, run.Run([&](WindowRun& user) {
        support::Press(support::WaitForMessageBox("BIOS update"), IDYES);
        if (row.fault == Fault::WorkerOutOfMemory) {
            user.ReleaseWorker(true);
        }
        if (!row.report.empty()) {
            report = support::WaitForMessageBox(AfxGetAppName());
            reportedBeforeEnd = report.found && !user.Ended();
            support::Press(report, IDOK);
        }
        if (row.goesOn && user.WaitForWorker()) {
            user.OnWindowThread([] {}); // and what the report's end may have posted
            wentOn = !user.Ended();
            user.ReleaseWorker();
        }
    }));
    const std::set<std::string> left = support::List(support::WorkFolder());
    file.Reset();
    EXPECT_EQ(reportedBeforeEnd, !row.report.empty());
    EXPECT_NE(std::string::npos, report.text.find(row.report)) << report.text;
    EXPECT_EQ(wentOn, row.goesOn);
    EXPECT_EQ(row.workers, run.WorkerThreads());
    // Cleaned up: only a held name is left.
    EXPECT_EQ(row.held.empty() ? std::set<std::string>() : std::set{row.held}, left);
}

const char kNoResource[] = "A required resource was unavailable.";

const FaultCase kFaults[] = {
    {"HeldUtilityFile", Fault::HeldFile, "mfc42.dll", "mfc42.dll", false, 0},
    {"HeldImage", Fault::HeldFile, "mirtsf13.imc", "mirtsf13.imc", false, 0},
    {"WorkerOutOfMemory", Fault::WorkerOutOfMemory, "", "Out of memory.", false, 1},
    {"FailedPaint", Fault::FailedPaint, "", kNoResource, true, 1},
    {"FailedPaintInQuery", Fault::FailedPaintInQuery, "", kNoResource, true, 1},
    {"EndedInQuery", Fault::EndedInQuery, "", "", false, 0},
};

INSTANTIATE_TEST_SUITE_P(Faults, FaultyRun, ::testing::ValuesIn(kFaults),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
