#include "payload/work_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

using payload::AppendWorkFolder;
using payload::BuildFilePath;
using payload::kPathBufferSize;

constexpr char kFill = '#';

// A path buffer as the program uses it, pre-filled with junk so that leftovers show up.
struct PathBuffer {
    char bytes[kPathBufferSize];

    PathBuffer() { std::memset(bytes, kFill, sizeof bytes); }
    explicit PathBuffer(const std::string& text) : PathBuffer() {
        std::memcpy(bytes, text.c_str(), text.size() + 1);
    }

    bool AllZero() const {
        return std::all_of(std::begin(bytes), std::end(bytes), [](char c) { return c == '\0'; });
    }
    // Everything behind the terminator is zero, as in a buffer that was cleared first.
    bool ZeroFilledBehindText() const {
        const std::size_t length = std::strlen(bytes);
        return std::all_of(bytes + length, std::end(bytes), [](char c) { return c == '\0'; });
    }
};

// "C:\" followed by letters, `length` characters in all.
std::string ProgramFilesOfLength(std::size_t length) {
    return "C:\\" + std::string(length - 3, 'p');
}

struct AppendCase {
    const char* label;
    std::size_t programFilesLength;
    bool accepted;

    friend void PrintTo(const AppendCase& c, std::ostream* out) { *out << c.label; }
};

class AppendWorkFolderBounds : public testing::TestWithParam<AppendCase> {};

TEST_P(AppendWorkFolderBounds, AcceptsUpTo234CharactersAndRefusesCleanlyBeyond) {
    const AppendCase& c = GetParam();
    const std::string programFiles = ProgramFilesOfLength(c.programFilesLength);
    PathBuffer buffer(programFiles);

    EXPECT_EQ(AppendWorkFolder(buffer.bytes, sizeof buffer.bytes), c.accepted);
    if (c.accepted) {
        EXPECT_EQ(std::string(buffer.bytes), programFiles + "\\BIOSUPDATE");
        EXPECT_EQ(std::strlen(buffer.bytes), c.programFilesLength + 11);
        EXPECT_TRUE(buffer.ZeroFilledBehindText());
    } else {
        EXPECT_TRUE(buffer.AllZero()) << "a refused path must leave no partial path behind";
    }
}

// A Program Files path of 234 characters gives a work folder of 245, the longest accepted.
INSTANTIATE_TEST_SUITE_P(ProgramFilesLengths, AppendWorkFolderBounds,
                         testing::Values(AppendCase{"Short", 16, true},
                                         AppendCase{"Longest", 234, true},
                                         AppendCase{"OneTooLong", 235, false},
                                         AppendCase{"FillsBuffer", 259, false}),
                         [](const auto& param) { return std::string(param.param.label); });

TEST(AppendWorkFolder, EmptyProgramFilesPathGivesTheFolderAtTheDriveRoot) {
    PathBuffer buffer("");
    ASSERT_TRUE(AppendWorkFolder(buffer.bytes, sizeof buffer.bytes));
    EXPECT_STREQ(buffer.bytes, "\\BIOSUPDATE");
    EXPECT_TRUE(buffer.ZeroFilledBehindText());
}

TEST(AppendWorkFolder, RefusesABufferWithoutTerminator) {
    PathBuffer buffer;
    std::memset(buffer.bytes, 'p', sizeof buffer.bytes);
    EXPECT_FALSE(AppendWorkFolder(buffer.bytes, sizeof buffer.bytes));
    EXPECT_TRUE(buffer.AllZero());
}

TEST(AppendWorkFolder, RespectsASmallerBuffer) {
    // "\BIOSUPDATE" needs 12 bytes with its terminator.
    char fits[12] = "";
    EXPECT_TRUE(AppendWorkFolder(fits, sizeof fits));
    EXPECT_STREQ(fits, "\\BIOSUPDATE");

    char tooSmall[13] = "CC";
    EXPECT_FALSE(AppendWorkFolder(tooSmall, sizeof tooSmall));
    EXPECT_TRUE(
        std::all_of(std::begin(tooSmall), std::end(tooSmall), [](char c) { return c == 0; }));

    EXPECT_FALSE(AppendWorkFolder(nullptr, kPathBufferSize));
}

struct FilePathCase {
    const char* label;
    std::size_t folderLength;
    const char* name;
    bool accepted;

    friend void PrintTo(const FilePathCase& c, std::ostream* out) { *out << c.label; }
};

class BuildFilePathBounds : public testing::TestWithParam<FilePathCase> {};

TEST_P(BuildFilePathBounds, FitsAPathOf259CharactersAndRefusesOneOf260) {
    const FilePathCase& c = GetParam();
    const std::string folder = ProgramFilesOfLength(c.folderLength);
    PathBuffer buffer;

    EXPECT_EQ(BuildFilePath(folder.c_str(), c.name, buffer.bytes), c.accepted);
    if (c.accepted) {
        EXPECT_EQ(std::string(buffer.bytes), folder + "\\" + c.name);
        EXPECT_TRUE(buffer.ZeroFilledBehindText());
    } else {
        EXPECT_TRUE(buffer.AllZero()) << "a refused path must leave no partial path behind";
    }
}

INSTANTIATE_TEST_SUITE_P(
    PathLengths, BuildFilePathBounds,
    testing::Values(FilePathCase{"LongestFolderLongestName259", 245, "SWinFlash.exe", true},
                    FilePathCase{"LongestFolderOtherLongestName259", 245, "WINPHLASH.GID", true},
                    FilePathCase{"OneTooLong260", 246, "SWinFlash.exe", false},
                    FilePathCase{"ShortNameBehindLongFolder259", 250, "BIOS.bak", true},
                    FilePathCase{"ShortNameOneTooLong260", 251, "BIOS.bak", false},
                    FilePathCase{"FolderFillsBuffer", 259, "x", false},
                    FilePathCase{"Typical", 27, "mirtsf13.imc", true}),
    [](const auto& param) { return std::string(param.param.label); });

TEST(BuildFilePath, RefusesMissingArgumentsWithACleanBuffer) {
    PathBuffer buffer;
    EXPECT_FALSE(BuildFilePath(nullptr, "mfc42.dll", buffer.bytes));
    EXPECT_TRUE(buffer.AllZero());

    PathBuffer other;
    EXPECT_FALSE(BuildFilePath("C:\\Program Files\\BIOSUPDATE", nullptr, other.bytes));
    EXPECT_TRUE(other.AllZero());

    EXPECT_FALSE(BuildFilePath("C:\\x", "y", nullptr, kPathBufferSize));
}

TEST(BuildFilePath, RefusesAnUnterminatedFolder) {
    PathBuffer folder;
    std::memset(folder.bytes, 'f', sizeof folder.bytes);
    PathBuffer buffer;
    EXPECT_FALSE(BuildFilePath(folder.bytes, "x", buffer.bytes));
    EXPECT_TRUE(buffer.AllZero());
}

TEST(BuildFilePath, BuildsInPlaceOverItsOwnFolder) {
    PathBuffer buffer("C:\\Program Files\\BIOSUPDATE");
    ASSERT_TRUE(BuildFilePath(buffer.bytes, "PHLASH.INI", buffer.bytes));
    EXPECT_STREQ(buffer.bytes, "C:\\Program Files\\BIOSUPDATE\\PHLASH.INI");
    EXPECT_TRUE(buffer.ZeroFilledBehindText());
}

TEST(PayloadTables, UtilityFilesAreWrittenInTheirFixedOrder) {
    const std::vector<std::pair<unsigned, std::string>> expected = {
        {165, "SWinFlash.exe"}, {154, "mfc42.dll"},    {156, "msvcp60.dll"},  {157, "msvcrt.dll"},
        {158, "PHLASH.INI"},    {160, "PhlashLc.dll"}, {159, "Phlash9X.vxd"}, {161, "PhlashNT.sys"},
    };
    std::vector<std::pair<unsigned, std::string>> actual;
    for (const payload::PayloadFile& file : payload::kUtilityFiles) {
        actual.emplace_back(file.id, file.name);
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(payload::kBiosImage.id, 168u);
    EXPECT_STREQ(payload::kBiosImage.name, "mirtsf13.imc");
}

TEST(PayloadTables, CleanUpDeletesEveryWrittenFileButNeverTheBackup) {
    const std::vector<std::string> expected = {
        "SWinFlash.exe", "mfc42.dll",    "msvcp60.dll",  "msvcrt.dll",
        "PHLASH.INI",    "PhlashLc.dll", "Phlash9X.vxd", "PhlashNT.sys",
        "WINPHLASH.GID", "PHLASH.txt",   "mirtsf13.imc",
    };
    const std::vector<std::string> actual(payload::kCleanUpFiles.begin(),
                                          payload::kCleanUpFiles.end());
    EXPECT_EQ(actual, expected);
    EXPECT_STREQ(payload::kBackupFileName, "BIOS.bak");
    EXPECT_EQ(std::count(actual.begin(), actual.end(), payload::kBackupFileName), 0);
}

TEST(PayloadTables, EveryNameFitsBehindTheLongestAcceptedWorkFolder) {
    std::vector<const char*> names(payload::kCleanUpFiles.begin(), payload::kCleanUpFiles.end());
    names.push_back(payload::kBackupFileName);
    const std::string folder = ProgramFilesOfLength(payload::kMaxWorkFolderLength);
    for (const char* name : names) {
        PathBuffer buffer;
        EXPECT_TRUE(BuildFilePath(folder.c_str(), name, buffer.bytes)) << name;
    }
}

} // namespace
