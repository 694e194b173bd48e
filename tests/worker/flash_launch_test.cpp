// The flash utility's start: what the utility sees of it, that it is waited for, that nothing
// else gets started in its place, and the bounds of the work folder's length.
#include "event_log.h"
#include "worker_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

using namespace worker_test::events;
using Events = std::vector<std::string>;

constexpr char kStubRecord[] = "C:\\worker_stub_record.txt";
constexpr char kProgramFilesParent[] = "C:\\worker_long";

class FlashLaunch : public testing::Test {
protected:
    void SetUp() override {
        worker_test::DeleteStampKeys();
        ::DeleteFileA(kStubRecord);
        ::DeleteFileA(worker_test::kProbeMarker);
        m_window.dialog.m_strBiosVersion = "MIRTSF12";
        m_window.dialog.m_strImageFile = "mirtsf13.imc";
    }
    void TearDown() override {
        worker_test::DeleteStampKeys();
        ::DeleteFileA(kStubRecord);
        ::DeleteFileA(worker_test::kProbeMarker);
    }

    worker_test::ScopedEnvironmentVariable m_record{"BIOSUPDATE_STUB_RECORD", kStubRecord};
    worker_test::TestStatusWindow m_window;
};

TEST_F(FlashLaunch, UtilityGetsQuotedPathSwitchesAndImageInTheWorkFolder) {
    const worker_test::ScopedWorkFolder workFolder;
    workFolder.PutImage();
    const worker_test::ScopedFileCopy utility(worker_test::FlashStubPath(),
                                              workFolder.FilePath("SWinFlash.exe"));
    ASSERT_TRUE(utility.Copied());

    const worker_test::RunRecord run = worker_test::RunWorker(m_window);
    ASSERT_EQ(run.finishMessages, 1);

    const std::string expectedLine =
        "\"" + workFolder.Path() +
        "\\SWinFlash.exe\" /BU=BIOS.bak /C /MFG /P /S /V /mode=2 MIRTSF13.IMC";
    const worker_test::ProcessStart start = worker_test::LastProcessStart();
    EXPECT_EQ(start.applicationName, workFolder.Path() + "\\SWinFlash.exe");
    EXPECT_EQ(start.commandLine, expectedLine);
    EXPECT_TRUE(start.securityAttributesNull);
    EXPECT_EQ(start.inheritHandles, FALSE);
    EXPECT_EQ(start.creationFlags, static_cast<DWORD>(CREATE_NO_WINDOW));
    EXPECT_TRUE(start.environmentNull);
    EXPECT_EQ(start.currentFolder, workFolder.Path());
    EXPECT_EQ(start.startupInfoSize, 68u);
    EXPECT_TRUE(start.startupInfoOtherwiseZero);

    const std::string record = worker_test::ReadTextFile(kStubRecord);
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(worker_test::RecordValue(record, "command-line"), expectedLine);
    EXPECT_EQ(workFolder.Path(), "C:\\Program Files\\BIOSUPDATE");
    EXPECT_EQ(worker_test::RecordValue(record, "current-folder"), workFolder.Path());
    // The utility opened the image by the name it was given, relative to its current folder.
    EXPECT_EQ(worker_test::RecordValue(record, "image"), "MIRTSF13.IMC");
    EXPECT_EQ(worker_test::RecordValue(record, "image-size"), "18");
    EXPECT_EQ(worker_test::RecordValue(record, "backup"), "BIOS.bak");
    EXPECT_TRUE(worker_test::FileExists(workFolder.FilePath("BIOS.bak")));
}

TEST_F(FlashLaunch, PlantedProgramExeNeverRuns) {
    const worker_test::ScopedWorkFolder workFolder;
    workFolder.PutImage();
    const worker_test::ScopedFileCopy utility(worker_test::FlashStubPath(),
                                              workFolder.FilePath("SWinFlash.exe"));
    const worker_test::ScopedFileCopy planted(worker_test::LaunchProbePath(), "C:\\Program.exe");
    ASSERT_TRUE(utility.Copied());
    ASSERT_TRUE(planted.Copied());

    // The trap works: an unquoted line without an application name starts the planted program.
    {
        char unquoted[] = "C:\\Program Files\\BIOSUPDATE\\SWinFlash.exe /BU=BIOS.bak MIRTSF13.IMC";
        STARTUPINFOA startupInfo{};
        startupInfo.cb = sizeof startupInfo;
        PROCESS_INFORMATION processInfo{};
        ASSERT_TRUE(::CreateProcessA(nullptr, unquoted, nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                     nullptr, nullptr, &startupInfo, &processInfo));
        const KernelHandle process(processInfo.hProcess);
        const KernelHandle thread(processInfo.hThread);
        ::WaitForSingleObject(process.Get(), 30000);
        ASSERT_TRUE(worker_test::FileExists(worker_test::kProbeMarker));
        ::DeleteFileA(worker_test::kProbeMarker);
    }

    const worker_test::RunRecord run = worker_test::RunWorker(m_window);
    ASSERT_EQ(run.finishMessages, 1);
    EXPECT_FALSE(worker_test::FileExists(worker_test::kProbeMarker));
    EXPECT_FALSE(worker_test::ReadTextFile(kStubRecord).empty());
}

TEST_F(FlashLaunch, StampFollowsTheUtilitysEnd) {
    const worker_test::ScopedWorkFolder workFolder;
    workFolder.PutImage();
    const worker_test::ScopedFileCopy utility(worker_test::LaunchProbePath(),
                                              workFolder.FilePath("SWinFlash.exe"));
    ASSERT_TRUE(utility.Copied());

    const worker_test::RunRecord run = worker_test::RunWorker(m_window);
    ASSERT_EQ(run.finishMessages, 1);

    const std::string marker = worker_test::ReadTextFile(worker_test::kProbeMarker);
    EXPECT_EQ(worker_test::RecordValue(marker, "stamp"), "absent");
    EXPECT_EQ(worker_test::RecordValue(marker, "current-folder"), workFolder.Path());
    EXPECT_TRUE(worker_test::ReadStamp().present);
}

TEST_F(FlashLaunch, ExecutableIsTheWorkFoldersWhateverTheFirstToken) {
    const worker_test::ScopedWorkFolder workFolder;
    const worker_test::ScopedFileCopy utility(worker_test::FlashStubPath(),
                                              workFolder.FilePath("SWinFlash.exe"));
    ASSERT_TRUE(utility.Copied());
    const std::string commandLine = "\"C:\\absent folder\\other.exe\" /C MIRTSF13.IMC";

    CHWDriverDownloadThread worker(&m_window.dialog);
    worker.RunFlashUtility(commandLine.c_str(), workFolder.Path().c_str());

    // Started by its full path, the utility still receives the line exactly as formatted.
    EXPECT_EQ(worker_test::RecordValue(worker_test::ReadTextFile(kStubRecord), "command-line"),
              commandLine);
}

TEST_F(FlashLaunch, WaitsUntilTheUtilityHasEnded) {
    const worker_test::ScopedWorkFolder workFolder;
    const worker_test::ScopedFileCopy utility(worker_test::FlashStubPath(),
                                              workFolder.FilePath("SWinFlash.exe"));
    ASSERT_TRUE(utility.Copied());
    const worker_test::ScopedEnvironmentVariable delay("BIOSUPDATE_STUB_DELAY_MS", "1500");
    const std::string commandLine = "\"" + workFolder.Path() + "\\SWinFlash.exe\" /C MIRTSF13.IMC";

    CHWDriverDownloadThread worker(&m_window.dialog);
    const DWORD start = ::GetTickCount();
    worker.RunFlashUtility(commandLine.c_str(), workFolder.Path().c_str());
    const DWORD elapsed = ::GetTickCount() - start;

    EXPECT_EQ(worker_test::RecordValue(worker_test::ReadTextFile(kStubRecord), "delay-ms"), "1500");
    // The utility sleeps 1500 ms after it has started; returning sooner means it was not waited
    // for.
    EXPECT_GE(elapsed, 1500u);
}

TEST_F(FlashLaunch, StartsTheUtilityOfAFolderUpTo189Characters) {
    struct BoundCase {
        std::size_t folderLength;
        bool runs;
    };
    const BoundCase cases[] = {{189, true}, {190, false}};
    ::CreateDirectoryA(kProgramFilesParent, nullptr);
    for (const BoundCase& testCase : cases) {
        const std::string folder =
            std::string(kProgramFilesParent) + "\\" +
            std::string(testCase.folderLength - sizeof kProgramFilesParent, 'q');
        ASSERT_EQ(folder.size(), testCase.folderLength);
        ::CreateDirectoryA(folder.c_str(), nullptr);
        {
            const worker_test::ScopedFileCopy utility(worker_test::FlashStubPath(),
                                                      folder + "\\SWinFlash.exe");
            ASSERT_TRUE(utility.Copied());
            const std::string commandLine = "\"" + folder + "\\SWinFlash.exe\" MIRTSF13.IMC";

            CHWDriverDownloadThread worker(&m_window.dialog);
            worker.RunFlashUtility(commandLine.c_str(), folder.c_str());
        }
        const std::string record = worker_test::ReadTextFile(kStubRecord);
        EXPECT_EQ(!record.empty(), testCase.runs) << testCase.folderLength;
        if (testCase.runs) {
            EXPECT_EQ(worker_test::RecordValue(record, "current-folder"), folder);
        }
        ::DeleteFileA(kStubRecord);
        worker_test::RemoveFolderWithFiles(folder);
    }
    ::RemoveDirectoryA(kProgramFilesParent);
}

struct FolderLengthCase {
    const char* name;
    std::size_t programFilesLength;
    bool placeUtility; // past 245 characters its path would not fit MAX_PATH
    Events lastEvents;
    bool utilityRuns;
};

void PrintTo(const FolderLengthCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class WorkFolderLength : public FlashLaunch,
                         public testing::WithParamInterface<FolderLengthCase> {};

TEST_P(WorkFolderLength, BoundsTheFlashAndTheLookUp) {
    const FolderLengthCase& testCase = GetParam();
    ::CreateDirectoryA(kProgramFilesParent, nullptr);
    const std::string programFiles =
        std::string(kProgramFilesParent) + "\\" +
        std::string(testCase.programFilesLength - sizeof kProgramFilesParent, 'p');
    ASSERT_EQ(programFiles.size(), testCase.programFilesLength);
    {
        const worker_test::ScopedProgramFiles movedProgramFiles(programFiles);
        ASSERT_EQ(worker_test::ProgramFilesFolder(), programFiles);
        const worker_test::ScopedWorkFolder workFolder;
        workFolder.PutImage();
        std::unique_ptr<worker_test::ScopedFileCopy> utility;
        if (testCase.placeUtility) {
            utility = std::make_unique<worker_test::ScopedFileCopy>(
                worker_test::FlashStubPath(), workFolder.FilePath("SWinFlash.exe"));
            ASSERT_TRUE(utility->Copied());
        }

        const worker_test::RunRecord run = worker_test::RunWorker(m_window);
        ASSERT_GE(run.events.size(), testCase.lastEvents.size());
        const Events lastEvents(run.events.end() -
                                    static_cast<std::ptrdiff_t>(testCase.lastEvents.size()),
                                run.events.end());
        EXPECT_EQ(lastEvents, testCase.lastEvents);
        EXPECT_EQ(run.exitTimerArmed,
                  std::find(run.events.begin(), run.events.end(), kExitTimer) != run.events.end());
        EXPECT_EQ(run.finishMessages, 1);
        EXPECT_TRUE(worker_test::ReadStamp().present);
        const std::string record = worker_test::ReadTextFile(kStubRecord);
        EXPECT_EQ(!record.empty(), testCase.utilityRuns);
        if (testCase.utilityRuns) {
            EXPECT_EQ(worker_test::RecordValue(record, "current-folder"), workFolder.Path());
        }
    }
    ::RemoveDirectoryA(kProgramFilesParent);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, WorkFolderLength,
    testing::Values(
        // A work folder of 189 characters still flashes.
        FolderLengthCase{"Flashes189", 178, true, {kStartUtility, kStamp, kFinish}, true},
        // 190 characters: the line is refused, nothing starts, the run ends as after a flash.
        FolderLengthCase{
            "Refuses190", 179, true, {kUpdating, "pause 1000", kStamp, kFinish}, false},
        // Too long for the path buffers: no image can be looked up there.
        FolderLengthCase{"NotFoundPast245",
                         235,
                         false,
                         {"pause 1000", kStamp, kCannotUpdate, "pause 3000", kExitTimer, kFinish},
                         false}),
    [](const testing::TestParamInfo<FolderLengthCase>& param) { return param.param.name; });

} // namespace
