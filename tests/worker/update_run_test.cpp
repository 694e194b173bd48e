// The five ends of an update run, watched from outside: the status texts with the pauses after
// them, the stamp, the exit timer, the finish message and the flash utility's start.
#include "event_log.h"
#include "worker_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

using Events = std::vector<std::string>;

constexpr char kStubRecord[] = "C:\\worker_stub_record.txt";
constexpr char kStampText[] = "1.1508.0312.01";

using namespace worker_test::events;

enum class Utility { Absent, Stub };

struct OutcomeCase {
    const char* name;
    const char* biosVersion;
    const char* imageOnDisk; // null: no image in the work folder
    Utility utility;
    Events events;
    bool utilityRuns;
};

void PrintTo(const OutcomeCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

Events Join(Events first, const Events& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// What every run that finds the image does before its decision.
const Events kUpToDecision = {"pause 1000", "pause 2000", kLoading,
                              "pause 2000", kVerifying,   "pause 2000"};

Events Verdict(const std::string& status, DWORD pauseMs) {
    return Join(kUpToDecision,
                {kStamp, status, "pause " + std::to_string(pauseMs), kExitTimer, kFinish});
}

const Events kFlash = Join(kUpToDecision, {kChecking, "pause 2000", "pause 2000", kUpdating,
                                           "pause 1000", kStartUtility, kStamp, kFinish});

const Events kImageMissing = {"pause 1000", kStamp,     kCannotUpdate,
                              "pause 3000", kExitTimer, kFinish};

class UpdateRun : public testing::TestWithParam<OutcomeCase> {
protected:
    void SetUp() override {
        worker_test::DeleteStampKeys();
        ::DeleteFileA(kStubRecord);
    }
    void TearDown() override {
        worker_test::DeleteStampKeys();
        ::DeleteFileA(kStubRecord);
    }

    worker_test::ScopedWorkFolder m_workFolder;
    worker_test::ScopedEnvironmentVariable m_record{"BIOSUPDATE_STUB_RECORD", kStubRecord};
    worker_test::TestStatusWindow m_window;
};

TEST_P(UpdateRun, EndsAsItsOutcomeRequires) {
    const OutcomeCase& testCase = GetParam();
    if (testCase.imageOnDisk != nullptr) {
        m_workFolder.PutImage(testCase.imageOnDisk);
    }
    std::unique_ptr<worker_test::ScopedFileCopy> utility;
    if (testCase.utility == Utility::Stub) {
        utility = std::make_unique<worker_test::ScopedFileCopy>(
            worker_test::FlashStubPath(), m_workFolder.FilePath("SWinFlash.exe"));
        ASSERT_TRUE(utility->Copied());
    }
    m_window.dialog.m_strBiosVersion = testCase.biosVersion;
    m_window.dialog.m_strImageFile = "mirtsf13.imc";

    const worker_test::RunRecord run = worker_test::RunWorker(m_window);

    EXPECT_EQ(run.events, testCase.events);
    // The timer the log shows was really armed on the window.
    const bool exitTimerLogged =
        std::find(run.events.begin(), run.events.end(), kExitTimer) != run.events.end();
    EXPECT_EQ(run.exitTimerArmed, exitTimerLogged);
    EXPECT_EQ(run.finishMessages, 1);
    EXPECT_EQ(run.otherFinishMessages, 0);
    EXPECT_TRUE(run.workerDeleted);
    EXPECT_EQ(run.threadExitCode, 0u);

    const worker_test::StampValue stamp = worker_test::ReadStamp();
    EXPECT_TRUE(stamp.present);
    EXPECT_EQ(stamp.data, std::string(kStampText, sizeof kStampText));

    const std::string stubRecord = worker_test::ReadTextFile(kStubRecord);
    EXPECT_EQ(!stubRecord.empty(), testCase.utilityRuns);
    if (testCase.utilityRuns) {
        const std::string commandLine = worker_test::RecordValue(stubRecord, "command-line");
        const std::string imageArgument = " MIRTSF13.IMC";
        ASSERT_GE(commandLine.size(), imageArgument.size());
        EXPECT_EQ(commandLine.substr(commandLine.size() - imageArgument.size()), imageArgument);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, UpdateRun,
    testing::Values(
        OutcomeCase{"ImageMissing", "MIRTSF12", nullptr, Utility::Stub, kImageMissing, false},
        OutcomeCase{"OtherPlatform", "ABCDEF13", "mirtsf13.imc", Utility::Stub,
                    Verdict(kCannotUpdate, 3000), false},
        OutcomeCase{"VersionShorterThanPrefix", "MIRT", "mirtsf13.imc", Utility::Stub,
                    Verdict(kCannotUpdate, 3000), false},
        OutcomeCase{"EmptyVersion", "", "mirtsf13.imc", Utility::Stub, Verdict(kCannotUpdate, 3000),
                    false},
        OutcomeCase{"ImageOlder", "MIRTSF14", "mirtsf13.imc", Utility::Stub,
                    Verdict(kImageOlder, 5000), false},
        OutcomeCase{"ImageOlderLowerCase", "mirtsf14", "mirtsf13.imc", Utility::Stub,
                    Verdict(kImageOlder, 5000), false},
        OutcomeCase{"LongerRunningNumber", "MIRTSF13A", "mirtsf13.imc", Utility::Stub,
                    Verdict(kImageOlder, 5000), false},
        OutcomeCase{"SameVersion", "MIRTSF13", "mirtsf13.imc", Utility::Stub,
                    Verdict(kSameVersion, 5000), false},
        OutcomeCase{"SameVersionLowerCase", "mirtsf13", "mirtsf13.imc", Utility::Stub,
                    Verdict(kSameVersion, 5000), false},
        OutcomeCase{"SameVersionAfterSpace", "MIRTS F13", "mirtsf13.imc", Utility::Stub,
                    Verdict(kSameVersion, 5000), false},
        OutcomeCase{"ImageStoredInUpperCase", "MIRTSF13", "MIRTSF13.IMC", Utility::Stub,
                    Verdict(kSameVersion, 5000), false},
        OutcomeCase{"ImageNewer", "MIRTSF12", "mirtsf13.imc", Utility::Stub, kFlash, true},
        OutcomeCase{"ImageNewerLowerCase", "mirtsf12", "mirtsf13.imc", Utility::Stub, kFlash, true},
        // The start fails; the run still stamps and finishes as after a flash.
        OutcomeCase{"ImageNewerUtilityMissing", "MIRTSF12", "mirtsf13.imc", Utility::Absent, kFlash,
                    false}),
    [](const testing::TestParamInfo<OutcomeCase>& param) { return param.param.name; });

TEST(UpdateRunExitTimer, FiresOnTheWindowAboutThreeSecondsLater) {
    worker_test::DeleteStampKeys();
    const worker_test::ScopedWorkFolder workFolder;
    worker_test::TestStatusWindow window;
    window.dialog.m_strImageFile = "mirtsf13.imc";

    const worker_test::RunRecord run = worker_test::RunWorker(window, true);
    ASSERT_EQ(run.finishMessages, 1);
    const DWORD finished = ::GetTickCount();
    MSG message{};
    bool fired = false;
    while (!fired && ::GetTickCount() - finished < 10000) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_TIMER);
        fired = ::PeekMessageA(&message, window.Handle(), WM_TIMER, WM_TIMER, PM_REMOVE) &&
                message.wParam == IDT_EXIT;
    }
    const DWORD elapsed = ::GetTickCount() - finished;
    ASSERT_TRUE(fired);
    // Armed with 3000 ms before the finish was posted; a shorter interval would fire far sooner.
    EXPECT_GE(elapsed, 2000u);
    ::KillTimer(window.Handle(), IDT_EXIT);
    worker_test::DeleteStampKeys();
}

} // namespace
