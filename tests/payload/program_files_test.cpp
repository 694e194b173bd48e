// The work folder follows the Program Files folder wherever the registry puts it, up to the
// longest path the fixed buffers can hold; beyond that every routine leaves the disk alone.
#include "payload/work_folder.h"

#include "payload/work_paths.h"

#include "disk_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string kLongFoldersRoot = "C:\\payload_long_program_files";

// An existing folder under kLongFoldersRoot whose path is exactly `length` characters long.
std::string MakeFolderOfLength(std::size_t length) {
    std::string path = kLongFoldersRoot;
    char letter = 'a';
    while (path.size() < length) {
        // Each step adds a separator and at least one character; never leave room for a lone "\".
        std::size_t step = std::min<std::size_t>(length - path.size(), 101);
        if (length - path.size() - step == 1) {
            --step;
        }
        path += "\\" + std::string(step - 1, letter++);
    }
    return disk::CreateFolders(path) ? path : std::string();
}

// Every file under `folder`, with its content, to see that nothing was written or deleted.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const std::string& name : disk::List(folder)) {
        const std::string path = folder + "\\" + name;
        if (disk::IsDirectory(path)) {
            for (const auto& [inner, content] : Snapshot(path)) {
                files[name + "\\" + inner] = content;
            }
            files[name + "\\"] = "";
        } else {
            files[name] = disk::ReadAll(path).value_or("<unreadable>");
        }
    }
    return files;
}

// Where an implementation that ignored the refusal would work: behind the empty path, at the root
// of the current drive, and in the folder it would fall back to.
const std::string kDriveRoot = "C:";
const std::string kRootWorkFolder = "C:\\BIOSUPDATE";
const std::string kUsualWorkFolder = "C:\\Program Files\\BIOSUPDATE";

std::vector<std::string> PayloadNames() {
    std::vector<std::string> names(payload::kCleanUpFiles.begin(), payload::kCleanUpFiles.end());
    names.emplace_back(payload::kBackupFileName);
    return names;
}

class LongProgramFiles : public testing::Test {
protected:
    void SetUp() override { RemoveAll(); }
    void TearDown() override { RemoveAll(); }

    static void RemoveAll() {
        disk::RemoveTree(kLongFoldersRoot);
        disk::RemoveTree(kRootWorkFolder);
        disk::RemoveTree(kUsualWorkFolder);
        for (const std::string& name : PayloadNames()) {
            disk::RemoveTree(kDriveRoot + "\\" + name);
        }
    }
};

TEST_F(LongProgramFiles, TheLongestAcceptedPathHoldsTheWholePayload) {
    const std::string programFiles = MakeFolderOfLength(payload::kMaxProgramFilesLength);
    ASSERT_EQ(programFiles.size(), 234u);
    const disk::ProgramFilesDirOverride moved(programFiles);
    ASSERT_TRUE(moved.Applied());
    const std::string workFolder = programFiles + "\\BIOSUPDATE";

    char buffer[MAX_PATH];
    ASSERT_TRUE(payload::GetWorkFolderPath(buffer));
    EXPECT_EQ(std::string(buffer), workFolder);
    EXPECT_EQ(workFolder.size(), 245u);

    payload::ExtractUtilityFiles();
    CString imageFile;
    payload::ExtractBiosImage(imageFile);
    EXPECT_EQ(disk::List(workFolder).size(), payload::kUtilityFiles.size() + 1);
    // The 13-character name gives the longest path a buffer can hold: 259 characters.
    const std::string longest = workFolder + "\\SWinFlash.exe";
    EXPECT_EQ(longest.size(), 259u);
    EXPECT_EQ(disk::ReadAll(longest), disk::EmbeddedPayload("SWinFlash.exe"));

    payload::FinishUpdateRun();
    EXPECT_FALSE(disk::Exists(workFolder));
}

TEST_F(LongProgramFiles, OneCharacterMoreIsRefusedWithoutTouchingAnyFile) {
    const std::string programFiles = MakeFolderOfLength(payload::kMaxProgramFilesLength + 1);
    ASSERT_EQ(programFiles.size(), 235u);

    // Where an implementation that cut the paths short, or fell back to another folder, would
    // write or delete.
    const std::string workFolder = programFiles + "\\BIOSUPDATE";
    std::map<std::string, std::string> planted = {
        {workFolder + "\\mfc42.dll", "fits, but inside a refused folder"},
        {workFolder + "\\SWinFlash.ex", "the utility's path cut to 259 characters"},
        {workFolder + "\\mirtsf13.imc", "image in a refused folder"},
        {workFolder + "\\BIOS.bak", "backup in a refused folder"},
        {programFiles + "\\BIOSUPDAT\\mfc42.dll", "the folder cut to 245 characters"},
        {kUsualWorkFolder + "\\PHLASH.INI", "the usual folder"},
    };
    for (const std::string& name : PayloadNames()) {
        planted[kRootWorkFolder + "\\" + name] = "the work folder at the drive root";
        planted[kDriveRoot + "\\" + name] = "the drive root itself";
    }
    for (const auto& [path, content] : planted) {
        ASSERT_TRUE(disk::CreateFolders(path.substr(0, path.find_last_of('\\'))));
        ASSERT_TRUE(disk::WriteAll(path, content)) << path;
    }
    const std::string watched[] = {programFiles, kRootWorkFolder, kUsualWorkFolder};
    std::map<std::string, std::map<std::string, std::string>> before;
    for (const std::string& folder : watched) {
        before[folder] = Snapshot(folder);
    }
    const std::set<std::string> rootBefore = disk::List(kDriveRoot);

    {
        const disk::ProgramFilesDirOverride moved(programFiles);
        ASSERT_TRUE(moved.Applied());
        // "\BIOSUPDATE" means the current drive's root: make that C:.
        const disk::CurrentDirectoryOverride onDriveC(kLongFoldersRoot);
        ASSERT_TRUE(onDriveC.Applied());

        char buffer[MAX_PATH];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_FALSE(payload::GetWorkFolderPath(buffer));
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '\0'));

        EXPECT_EQ(payload::ExtractUtilityFiles(), 0);
        CString imageFile("unchanged");
        payload::ExtractBiosImage(imageFile);
        EXPECT_STREQ(imageFile, "unchanged");
        EXPECT_EQ(payload::CleanUpWorkFolder(), 0);
        payload::FinishUpdateRun();
    }

    for (const std::string& folder : watched) {
        EXPECT_EQ(Snapshot(folder), before[folder]) << folder;
    }
    EXPECT_EQ(disk::List(kDriveRoot), rootBefore);
    for (const auto& [path, content] : planted) {
        EXPECT_EQ(disk::ReadAll(path), content) << path;
    }
}

TEST_F(LongProgramFiles, AProgramFilesFolderTheShellCannotNameLeavesTheDriveRoot) {
    const disk::ProgramFilesDirOverride moved(kLongFoldersRoot + "\\does not exist");
    ASSERT_TRUE(moved.Applied());
    char buffer[MAX_PATH];
    ASSERT_TRUE(payload::GetWorkFolderPath(buffer));
    EXPECT_STREQ(buffer, "\\BIOSUPDATE");
}

} // namespace
