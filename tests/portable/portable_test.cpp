// The platform-free decisions and bounds, each as one table: run on the host under the sanitizers
// (every buffer is a heap block of exactly the size handed over) and under Wine.
#include "app/start_checks.h"
#include "block_table.h"
#include "payload/work_paths.h"
#include "res/resource.h"
#include "ui/progress_geometry.h"
#include "worker/flash_command_line.h"
#include "worker/version_decision.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <tuple>
#include <vector>

namespace {

using worker::VersionDecision;

// "C:\" followed by letters, `length` characters in all.
std::string PathOfLength(std::size_t length) {
    return "C:\\" + std::string(length - 3, 'p');
}

// A path buffer of the program's size: `text`, its terminator, then `fill`.
std::vector<char> PathBuffer(const std::string& text, char fill = '\0') {
    std::vector<char> buffer(payload::kPathBufferSize, fill);
    std::copy(text.c_str(), text.c_str() + text.size() + 1, buffer.begin());
    return buffer;
}

TEST(VersionDecision, FollowsPrefixThenNumber) {
    // The found image's name, the running version, the decision.
    const std::tuple<const char*, const char*, VersionDecision> rows[] = {
        {"MIRTSF13.IMC", "MIRTSF12", VersionDecision::Flash},
        {"MIRTSF13.IMC", "MIRTSF13", VersionDecision::SameVersion},
        {"MIRTSF13.IMC", "MIRTSF14", VersionDecision::ImageOlder},
        {"MIRTSF13.IMC", "MIRTS F13", VersionDecision::SameVersion},    // the blank is skipped
        {"MIRTSF13.IMC", "MIRTSXYZ", VersionDecision::Flash},           // no digit reads 0
        {"MIRTSF13.IMC", "MIRTS000000F13", VersionDecision::Flash},     // eight characters: 0xF1
        {"MIRTSF13.IMC", "MIRTSFFFFFFFF", VersionDecision::ImageOlder}, // saturates, no wrap
        {"MIRTSF13.IMC", "ABCDEF12", VersionDecision::CannotUpdate},
        {"MIRTSF13.IMC", "MIRT", VersionDecision::CannotUpdate},
        {"MIRTSF13.IMC", "", VersionDecision::CannotUpdate},
        {"OTHERF13.IMC", "MIRTSF12", VersionDecision::CannotUpdate}, // the found file's prefix
    };
    for (const auto& [found, bios, expected] : rows) {
        EXPECT_EQ(worker::DecideUpdate(found, "MIRTSF13.IMC", bios), expected)
            << found << " over \"" << bios << '"';
    }
}

TEST(PowerGate, RefusesOffMainsThenBelowTwentyPercent) {
    // Whether the state is known, ACLineStatus, BatteryLifePercent, the verdict.
    const std::tuple<bool, unsigned char, unsigned char, PowerVerdict> rows[] = {
        {true, 0, 100, PowerVerdict::NoMainsPower}, {true, 1, 19, PowerVerdict::LowBattery},
        {true, 1, 20, PowerVerdict::Proceed},       {true, 1, 255, PowerVerdict::Proceed},
        {true, 255, 20, PowerVerdict::Proceed},     {false, 1, 100, PowerVerdict::NoMainsPower},
    };
    for (const auto& [known, acLine, battery, expected] : rows) {
        EXPECT_EQ(JudgePowerStatus(known, acLine, battery), expected)
            << known << " AC " << int{acLine} << " battery " << int{battery};
    }
}

TEST(CommandLine, OnlyTheNumberOneAsksForTheCleanUp) {
    // An overlong number saturates: wrapping 2^32 + 1 would give the clean-up request 1.
    constexpr std::optional<long> kNone;
    constexpr long kMax = INT_MAX;
    const std::pair<const char*, std::optional<long>> rows[] = {
        {"1", 1}, {" 1", 1},  {"+1", 1},  {"01", 1},     {"1 x", 1},  {"0", 0},
        {"2", 2}, {"-1", -1}, {"10", 10}, {"a1", kNone}, {"", kNone}, {"4294967297", kMax},
    };
    for (const auto& [text, number] : rows) {
        EXPECT_EQ(ReadCommandLineNumber(text), number) << text;
        EXPECT_EQ(IsCleanUpRequest(text), number == 1) << text;
    }
    EXPECT_EQ(ReadCommandLineNumber(nullptr), kNone);
    EXPECT_FALSE(IsCleanUpRequest(nullptr));
}

TEST(WorkPaths, EachBoundOnBothSides) {
    // A Program Files path of 234 characters gives the longest work folder, 245 characters.
    for (const std::size_t length : {234, 235}) {
        std::vector<char> buffer = PathBuffer(PathOfLength(length), '#');
        EXPECT_EQ(payload::AppendWorkFolder(buffer.data(), buffer.size()), length == 234);
        EXPECT_EQ(buffer, PathBuffer(length == 234 ? PathOfLength(length) + "\\BIOSUPDATE" : ""));
    }
    // Behind it, the longest names make file paths of 259 characters.
    for (const std::size_t length : {245, 246}) {
        const std::string folder = PathOfLength(length);
        std::vector<char> buffer = PathBuffer("", '#');
        EXPECT_EQ(
            payload::BuildFilePath(folder.c_str(), "WINPHLASH.GID", buffer.data(), buffer.size()),
            length == 245);
        EXPECT_EQ(buffer, PathBuffer(length == 245 ? folder + "\\WINPHLASH.GID" : ""));
    }
    std::vector<char> unterminated(payload::kPathBufferSize, 'p');
    std::vector<char> buffer = PathBuffer("", '#');
    EXPECT_FALSE(payload::BuildFilePath(unterminated.data(), "x", buffer.data(), buffer.size()));
    EXPECT_FALSE(payload::BuildFilePath(nullptr, "x", buffer.data(), buffer.size()));
    EXPECT_FALSE(payload::BuildFilePath("C:\\", nullptr, buffer.data(), buffer.size()));
    EXPECT_EQ(buffer, PathBuffer(""));
    EXPECT_FALSE(payload::AppendWorkFolder(unterminated.data(), unterminated.size()));
    EXPECT_EQ(unterminated, PathBuffer(""));
    EXPECT_FALSE(payload::AppendWorkFolder(nullptr, payload::kPathBufferSize));
}

TEST(WorkPaths, ExecutableContentBesideTheUtility) {
    // A file name, whether Windows would load or run it, whether the package writes it.
    const std::tuple<const char*, bool, bool> rows[] = {
        {"version.dll", true, false},  {"HELPER.SYS", true, false},
        {"x.DlL", true, false},        {"x.dll. .", true, false},
        {"setup.exe", true, false},    {"a.vxd", true, false},
        {"a.drv", true, false},        {"a.ocx", true, false},
        {"a.cpl", true, false},        {"x.dll.txt", false, false},
        {"dll", false, false},         {"", false, false},
        {"BIOS.bak", false, false},    {"PHLASH.txt", false, false},
        {"swinflash.EXE", true, true}, {"SWinFlash.exe2", false, false},
        {"PhlashNT.sys", true, true},  {IDR_FILE_BIOS_IMAGE_NAME, false, true},
    };
    for (const auto& [name, executable, payloadFile] : rows) {
        EXPECT_EQ(payload::IsExecutableContent(name), executable) << name;
        EXPECT_EQ(payload::IsPayloadFileName(name), payloadFile) << name;
    }
}

TEST(FlashCommandLine, QuotedUtilityInAFolderOfAtMost189Characters) {
    const std::string tail = "\\SWinFlash.exe\" /BU=BIOS.bak /C /MFG /P /S /V /mode=2 MIRTSF13.IMC";
    const std::pair<std::string, bool> rows[] = {
        {"C:\\Program Files\\BIOSUPDATE", true},
        {PathOfLength(189), true},
        {PathOfLength(190), false},
        {"C:\\a\" /X \"b", false},
    };
    for (const auto& [folder, accepted] : rows) {
        std::vector<char> line(worker::kFlashCommandLineSize, '#');
        EXPECT_EQ(worker::FormatFlashCommandLine(folder.c_str(), "MIRTSF13.IMC", line.data(),
                                                 line.size()),
                  accepted);
        EXPECT_EQ(line.data(), accepted ? '"' + folder + tail : "");
        // The utility's own path, the application name of the launch, is bounded alike.
        std::vector<char> path(worker::kFlashExecutablePathSize, '#');
        EXPECT_EQ(worker::FormatFlashExecutablePath(folder.c_str(), path.data(), path.size()),
                  accepted)
            << folder;
    }
    std::vector<char> small(60, '#');
    EXPECT_FALSE(worker::FormatFlashCommandLine("C:\\Program Files\\BIOSUPDATE", "MIRTSF13.IMC",
                                                small.data(), small.size()));
    EXPECT_STREQ(small.data(), "");
}

TEST(ProgressGeometry, BlockFrameAndBand) {
    for (const painttest::BlockCase& row : painttest::kBlockTable) {
        const std::optional<ui::BlockCopy> copy = ui::ProgressBlockCopy(row.progress);
        ASSERT_TRUE(copy.has_value()) << row.progress;
        EXPECT_EQ((std::vector<int>{copy->destinationX, copy->width, copy->sourceX}),
                  (std::vector<int>{row.destinationX, row.width, row.sourceX}))
            << row.progress;
    }
    for (const int outside : {INT_MIN, -1, 0, 32}) {
        EXPECT_FALSE(ui::ProgressBlockCopy(outside).has_value()) << outside;
    }
    // The screen's width and height, the frame's left and top.
    const std::tuple<int, int, int, int> frames[] = {
        {1024, 768, 192, 144}, {1025, 769, 192, 144}, {639, 479, 0, 0}, {637, 477, -1, -1}};
    for (const auto& [width, height, x, y] : frames) {
        const ui::FramePosition position = ui::FramePositionOnScreen(width, height);
        EXPECT_EQ(std::make_pair(position.x, position.y), std::make_pair(x, y)) << width;
    }
    for (const std::uint32_t lcid : {0x412u, 0x409u, 0x10412u}) {
        const ui::TextBand band = ui::StatusTextBand(lcid);
        const int top = lcid == 0x412 ? 300 : 310;
        EXPECT_EQ((std::vector<int>{band.left, band.top, band.right, band.bottom}),
                  (std::vector<int>{0, top, 640, top + 25}))
            << lcid;
        EXPECT_EQ(ui::StatusScreenBitmapId(lcid), lcid == 0x412 ? IDB_SCREEN_KO : IDB_SCREEN);
    }
}

} // namespace
