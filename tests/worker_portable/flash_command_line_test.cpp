#include "worker/flash_command_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using worker::FormatFlashCommandLine;
using worker::FormatFlashExecutablePath;
using worker::kFlashCommandLineSize;
using worker::kFlashExecutablePathSize;

constexpr const char* kImage = "MIRTSF13.IMC";
constexpr char kCanary = '\x5A';
constexpr std::size_t kSlack = 64;

// "C:\" followed by 'x' up to the given length.
std::string FolderOfLength(std::size_t length) {
    return "C:\\" + std::string(length - 3, 'x');
}

// A buffer larger than the size handed to the formatter, with a canary behind the handed part.
template <std::size_t Size> struct GuardedBuffer {
    char bytes[Size + kSlack];
    GuardedBuffer() { std::memset(bytes, kCanary, sizeof bytes); }
    bool CanaryIntact() const {
        for (std::size_t i = Size; i < sizeof bytes; ++i) {
            if (bytes[i] != kCanary) {
                return false;
            }
        }
        return true;
    }
};

TEST(FlashCommandLine, QuotesExecutableAndKeepsSwitchesAndImage) {
    char line[kFlashCommandLineSize];
    ASSERT_TRUE(FormatFlashCommandLine("C:\\Program Files\\BIOSUPDATE", kImage, line, sizeof line));
    EXPECT_STREQ(line, "\"C:\\Program Files\\BIOSUPDATE\\SWinFlash.exe\" /BU=BIOS.bak /C /MFG /P "
                       "/S /V /mode=2 MIRTSF13.IMC");
}

TEST(FlashCommandLine, BoundIsA189CharacterFolder) {
    struct BoundCase {
        std::size_t folderLength;
        bool accepted;
    };
    const BoundCase cases[] = {{188, true}, {189, true}, {190, false}, {245, false}};
    for (const BoundCase& testCase : cases) {
        const std::string folder = FolderOfLength(testCase.folderLength);
        GuardedBuffer<kFlashCommandLineSize> line;
        const bool accepted =
            FormatFlashCommandLine(folder.c_str(), kImage, line.bytes, kFlashCommandLineSize);
        EXPECT_EQ(accepted, testCase.accepted) << testCase.folderLength;
        EXPECT_TRUE(line.CanaryIntact()) << testCase.folderLength;
        if (accepted) {
            const std::string text = line.bytes;
            EXPECT_EQ(text, "\"" + folder +
                                "\\SWinFlash.exe\" /BU=BIOS.bak /C /MFG /P /S /V "
                                "/mode=2 MIRTSF13.IMC");
        } else {
            EXPECT_STREQ(line.bytes, "") << testCase.folderLength;
        }
    }
    // The longest accepted line fills the buffer to its last byte.
    char line[kFlashCommandLineSize];
    ASSERT_TRUE(FormatFlashCommandLine(FolderOfLength(189).c_str(), kImage, line, sizeof line));
    EXPECT_EQ(std::strlen(line), kFlashCommandLineSize - 1);
}

TEST(FlashCommandLine, RefusesWhatDoesNotFitTheGivenBuffer) {
    GuardedBuffer<16> line;
    EXPECT_FALSE(FormatFlashCommandLine("C:\\Program Files\\BIOSUPDATE", kImage, line.bytes, 16));
    EXPECT_STREQ(line.bytes, "");
    EXPECT_TRUE(line.CanaryIntact());
    char untouched = kCanary;
    EXPECT_FALSE(FormatFlashCommandLine("C:\\", kImage, &untouched, 0));
    EXPECT_EQ(untouched, kCanary);
}

TEST(FlashCommandLine, RefusesAFolderWithAQuotationMark) {
    char line[kFlashCommandLineSize];
    EXPECT_FALSE(FormatFlashCommandLine("C:\\a\" /X \"b", kImage, line, sizeof line));
    EXPECT_STREQ(line, "");
    char path[kFlashExecutablePathSize];
    EXPECT_FALSE(FormatFlashExecutablePath("C:\\a\"b", path, sizeof path));
    EXPECT_STREQ(path, "");
}

TEST(FlashExecutablePath, NamesTheUtilityInTheFolderUpToTheSameBound) {
    char path[kFlashExecutablePathSize];
    ASSERT_TRUE(FormatFlashExecutablePath("C:\\Program Files\\BIOSUPDATE", path, sizeof path));
    EXPECT_STREQ(path, "C:\\Program Files\\BIOSUPDATE\\SWinFlash.exe");

    GuardedBuffer<kFlashExecutablePathSize> longest;
    const std::string folder189 = FolderOfLength(189);
    EXPECT_TRUE(
        FormatFlashExecutablePath(folder189.c_str(), longest.bytes, kFlashExecutablePathSize));
    EXPECT_EQ(std::string(longest.bytes), folder189 + "\\SWinFlash.exe");
    EXPECT_TRUE(longest.CanaryIntact());

    GuardedBuffer<kFlashExecutablePathSize> refused;
    EXPECT_FALSE(FormatFlashExecutablePath(FolderOfLength(190).c_str(), refused.bytes,
                                           kFlashExecutablePathSize));
    EXPECT_STREQ(refused.bytes, "");
    EXPECT_TRUE(refused.CanaryIntact());
}

} // namespace
