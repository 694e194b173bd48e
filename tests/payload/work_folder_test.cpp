#include "payload/work_folder.h"

#include "payload/work_paths.h"
#include "res/resource.h"

#include "disk_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <ostream>
#include <string>
#include <vector>

namespace {

const std::string kProgramFiles = "C:\\Program Files";
const std::string kWorkFolder = "C:\\Program Files\\BIOSUPDATE";

std::string InWorkFolder(const std::string& name) {
    return kWorkFolder + "\\" + name;
}

std::set<std::string> UtilityFileNames() {
    std::set<std::string> names;
    for (const payload::PayloadFile& file : payload::kUtilityFiles) {
        names.insert(file.name);
    }
    return names;
}

void ExpectContent(const std::string& path, const std::string& expected) {
    const std::optional<std::string> actual = disk::ReadAll(path);
    ASSERT_TRUE(actual.has_value()) << path << " was not written";
    EXPECT_EQ(actual->size(), expected.size()) << path;
    EXPECT_TRUE(*actual == expected) << path << " differs from what it was written from";
}

// Runs `step` and returns the path named by the file error it raised, or nothing.
std::optional<std::string> FileErrorPath(const std::function<void()>& step) {
    try {
        step();
    } catch (const CFileException& error) {
        return std::string(error.m_strFileName);
    }
    return std::nullopt;
}

class WorkFolder : public testing::Test {
protected:
    void SetUp() override {
        disk::RemoveTree(kWorkFolder);
        ASSERT_FALSE(disk::Exists(kWorkFolder));
    }
    void TearDown() override { disk::RemoveTree(kWorkFolder); }

    static void ExpectUtilityFilesWrittenExcept(const std::set<std::string>& skipped) {
        for (const payload::PayloadFile& file : payload::kUtilityFiles) {
            if (skipped.count(file.name) == 0) {
                ExpectContent(InWorkFolder(file.name), disk::EmbeddedPayload(file.name));
            }
        }
    }
};

TEST_F(WorkFolder, PathIsTheProgramFilesFolderFollowedByBIOSUPDATE) {
    char buffer[MAX_PATH];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_TRUE(payload::GetWorkFolderPath(buffer));
    EXPECT_EQ(std::string(buffer), kWorkFolder);
    for (std::size_t i = kWorkFolder.size(); i < sizeof buffer; ++i) {
        ASSERT_EQ(buffer[i], '\0') << "byte " << i << " of the path buffer was not cleared";
    }
    EXPECT_FALSE(disk::Exists(kWorkFolder)) << "building the path must not create the folder";
}

TEST_F(WorkFolder, FileExistsFindsFilesAndDirectoriesAlike) {
    ASSERT_TRUE(disk::CreateFolders(InWorkFolder("folder")));
    ASSERT_TRUE(disk::WriteAll(InWorkFolder("file.bin"), "x"));
    ASSERT_TRUE(disk::WriteAll(InWorkFolder("empty.bin"), ""));

    const std::vector<std::pair<std::string, bool>> cases = {
        {InWorkFolder("file.bin"), true},     {InWorkFolder("empty.bin"), true},
        {InWorkFolder("folder"), true},       {kWorkFolder, true},
        {InWorkFolder("missing.bin"), false}, {InWorkFolder("missing\\file.bin"), false},
    };
    for (const auto& [path, exists] : cases) {
        EXPECT_EQ(payload::FileExists(path.c_str()), exists) << path;
    }
    EXPECT_FALSE(payload::FileExists(nullptr));
}

TEST_F(WorkFolder, UtilityFilesAreWrittenWithTheResourcesExactBytes) {
    EXPECT_EQ(payload::ExtractUtilityFiles(), 0);
    EXPECT_EQ(disk::List(kWorkFolder), UtilityFileNames());
    ExpectUtilityFilesWrittenExcept({});
}

TEST_F(WorkFolder, ImageIsWrittenAndItsNameHandedBack) {
    CString imageFile;
    payload::ExtractBiosImage(imageFile);
    EXPECT_STREQ(imageFile, "mirtsf13.imc");
    EXPECT_EQ(disk::List(kWorkFolder), std::set<std::string>{"mirtsf13.imc"});
    ExpectContent(InWorkFolder("mirtsf13.imc"), disk::EmbeddedPayload("mirtsf13.imc"));
}

TEST_F(WorkFolder, LeftoversOfAnInterruptedRunAreWrittenAfresh) {
    ASSERT_TRUE(disk::CreateFolders(kWorkFolder));
    std::vector<payload::PayloadFile> files(payload::kUtilityFiles.begin(),
                                            payload::kUtilityFiles.end());
    files.push_back(payload::kBiosImage);
    for (const payload::PayloadFile& file : files) {
        // Longer than the resource, so a write that does not truncate leaves a tail.
        const std::string stale = disk::EmbeddedPayload(file.name) + "left by an interrupted run";
        ASSERT_TRUE(disk::WriteAll(InWorkFolder(file.name), stale));
    }

    payload::ExtractUtilityFiles();
    CString imageFile;
    payload::ExtractBiosImage(imageFile);

    for (const payload::PayloadFile& file : files) {
        ExpectContent(InWorkFolder(file.name), disk::EmbeddedPayload(file.name));
    }
}

TEST_F(WorkFolder, CleanUpRemovesEveryListedFileAndTheFolderAndCanRunAgain) {
    payload::ExtractUtilityFiles();
    CString imageFile;
    payload::ExtractBiosImage(imageFile);
    ASSERT_TRUE(disk::WriteAll(InWorkFolder("WINPHLASH.GID"), "help index"));
    ASSERT_TRUE(disk::WriteAll(InWorkFolder("PHLASH.txt"), "utility log"));
    const std::set<std::string> programFiles = disk::List(kProgramFiles);

    EXPECT_EQ(payload::CleanUpWorkFolder(), 0);
    EXPECT_FALSE(disk::Exists(kWorkFolder));

    EXPECT_EQ(payload::CleanUpWorkFolder(), 0);
    EXPECT_FALSE(disk::Exists(kWorkFolder));
    std::set<std::string> expected = programFiles;
    expected.erase("BIOSUPDATE");
    EXPECT_EQ(disk::List(kProgramFiles), expected);
}

TEST_F(WorkFolder, CleanUpWithoutAFolderChangesNothing) {
    const std::set<std::string> programFiles = disk::List(kProgramFiles);
    EXPECT_EQ(payload::CleanUpWorkFolder(), 0);
    EXPECT_FALSE(disk::Exists(kWorkFolder));
    EXPECT_EQ(disk::List(kProgramFiles), programFiles);
}

TEST_F(WorkFolder, CleanUpKeepsUnlistedFilesAndTheBackupWithTheirFolder) {
    const std::map<std::string, std::string> kept = {
        {"BIOS.bak", "backup of the old BIOS"},
        {"notes.txt", "not ours"},
        {"SWinFlash.exe.old", "not ours either"},
    };
    for (const auto& [name, content] : kept) {
        disk::RemoveTree(kWorkFolder);
        payload::ExtractUtilityFiles();
        ASSERT_TRUE(disk::WriteAll(InWorkFolder(name), content));

        EXPECT_EQ(payload::CleanUpWorkFolder(), 0);
        EXPECT_EQ(disk::List(kWorkFolder), std::set<std::string>{name});
        EXPECT_EQ(disk::ReadAll(InWorkFolder(name)), content);
    }
}

struct FinishCase {
    const char* label;
    bool extracted;
    std::vector<std::string> leftByUtility;
    bool folderRemains;
    std::set<std::string> remaining;

    friend void PrintTo(const FinishCase& c, std::ostream* out) { *out << c.label; }
};

class FinishUpdateRun : public WorkFolder, public testing::WithParamInterface<FinishCase> {};

TEST_P(FinishUpdateRun, DeletesTheBackupOnlyAfterTheFolderRemovalWasTried) {
    const FinishCase& c = GetParam();
    if (c.extracted) {
        payload::ExtractUtilityFiles();
        CString imageFile;
        payload::ExtractBiosImage(imageFile);
    }
    for (const std::string& name : c.leftByUtility) {
        ASSERT_TRUE(disk::CreateFolders(kWorkFolder));
        ASSERT_TRUE(disk::WriteAll(InWorkFolder(name), "written by the flash utility"));
    }

    payload::FinishUpdateRun();

    EXPECT_EQ(disk::IsDirectory(kWorkFolder), c.folderRemains);
    EXPECT_EQ(disk::List(kWorkFolder), c.remaining);

    // A later clean-up, as in the clean-up mode, removes a folder the finish had to leave empty.
    payload::CleanUpWorkFolder();
    EXPECT_EQ(disk::Exists(kWorkFolder), !c.remaining.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, FinishUpdateRun,
    testing::Values(
        FinishCase{"FlashLeftABackup", true, {"BIOS.bak", "WINPHLASH.GID", "PHLASH.txt"}, true, {}},
        FinishCase{"NoBackup", true, {}, false, {}},
        FinishCase{"BackupAndAnUnlistedFile", true, {"BIOS.bak", "flash.log"}, true, {"flash.log"}},
        FinishCase{"NoFolderBefore", false, {}, false, {}}),
    [](const auto& param) { return std::string(param.param.label); });

// Ways in which a payload file can resist deletion.
enum class Obstacle { Directory, HeldOpenWithoutDeleteSharing, ReadOnly };

struct ObstacleCase {
    const char* label;
    Obstacle obstacle;
    payload::PayloadFile target;

    friend void PrintTo(const ObstacleCase& c, std::ostream* out) { *out << c.label; }
};

class UndeletableTarget : public WorkFolder, public testing::WithParamInterface<ObstacleCase> {
protected:
    static constexpr char kOldContent[] = "content of an earlier run";

    void Plant(const std::string& path) {
        ASSERT_TRUE(disk::CreateFolders(kWorkFolder));
        switch (GetParam().obstacle) {
        case Obstacle::Directory:
            ASSERT_TRUE(disk::CreateFolders(path));
            break;
        case Obstacle::HeldOpenWithoutDeleteSharing:
            ASSERT_TRUE(disk::WriteAll(path, kOldContent));
            m_holder.Reset(CreateFileA(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(m_holder.IsValid());
            break;
        case Obstacle::ReadOnly:
            ASSERT_TRUE(disk::WriteAll(path, kOldContent));
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
            break;
        }
    }

    void ExpectUntouched(const std::string& path) {
        if (GetParam().obstacle == Obstacle::Directory) {
            EXPECT_TRUE(disk::IsDirectory(path));
            EXPECT_TRUE(disk::List(path).empty());
        } else {
            EXPECT_EQ(disk::ReadAll(path), std::string(kOldContent));
        }
    }

    void TearDown() override {
        m_holder.Reset();
        WorkFolder::TearDown();
    }

    KernelHandle m_holder;
};

TEST_P(UndeletableTarget, KeepsItsOldStateWhileTheOtherFilesAreWritten) {
    const payload::PayloadFile& target = GetParam().target;
    const std::string path = InWorkFolder(target.name);
    Plant(path);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_TRUE(payload::FileExists(path.c_str()));

    EXPECT_EQ(payload::WriteResourceFile(target.id, path.c_str()), 1);
    ExpectUntouched(path);

    EXPECT_EQ(payload::ExtractUtilityFiles(), 0);
    ExpectUntouched(path);
    ExpectUtilityFilesWrittenExcept({target.name});
    EXPECT_EQ(disk::List(kWorkFolder), UtilityFileNames());

    // The clean-up deletes what it can and leaves the folder to the file it cannot delete.
    EXPECT_EQ(payload::CleanUpWorkFolder(), 0);
    ExpectUntouched(path);
    EXPECT_EQ(disk::List(kWorkFolder), std::set<std::string>{target.name});
}

INSTANTIATE_TEST_SUITE_P(Obstacles, UndeletableTarget,
                         testing::Values(ObstacleCase{"DirectoryNamedLikeTheRuntime",
                                                      Obstacle::Directory,
                                                      {IDR_FILE_MSVCRT, "msvcrt.dll"}},
                                         ObstacleCase{"DirectoryNamedLikeTheUtility",
                                                      Obstacle::Directory,
                                                      {IDR_FILE_SWINFLASH, "SWinFlash.exe"}},
                                         ObstacleCase{"LibraryHeldOpen",
                                                      Obstacle::HeldOpenWithoutDeleteSharing,
                                                      {IDR_FILE_MFC42, "mfc42.dll"}},
                                         ObstacleCase{"LastDriverHeldOpen",
                                                      Obstacle::HeldOpenWithoutDeleteSharing,
                                                      {IDR_FILE_PHLASHNT, "PhlashNT.sys"}},
                                         ObstacleCase{"ReadOnlyConfiguration",
                                                      Obstacle::ReadOnly,
                                                      {IDR_FILE_PHLASH_INI, "PHLASH.INI"}}),
                         [](const auto& param) { return std::string(param.param.label); });

TEST_F(WorkFolder, ATargetThatCannotBeCreatedRaisesTheFileErrorWithItsPath) {
    ASSERT_TRUE(disk::CreateFolders(kWorkFolder));
    const std::vector<std::string> paths = {
        InWorkFolder("invalid?name.exe"),
        InWorkFolder("no such folder\\SWinFlash.exe"),
    };
    for (const std::string& path : paths) {
        EXPECT_EQ(
            FileErrorPath([&] { payload::WriteResourceFile(IDR_FILE_SWINFLASH, path.c_str()); }),
            path);
    }
    EXPECT_TRUE(disk::List(kWorkFolder).empty());
}

// A file pending deletion behind a handle that shares deletion: it can be deleted, but no new
// file of that name can be created until the handle closes.
KernelHandle HoldPendingDeletion(const std::string& path) {
    disk::WriteAll(path, "pending deletion");
    return KernelHandle(CreateFileA(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

TEST_F(WorkFolder, AFileErrorAbandonsTheRestOfTheExtraction) {
    ASSERT_TRUE(disk::CreateFolders(kWorkFolder));
    const std::string blocked = InWorkFolder("msvcrt.dll");
    KernelHandle holder = HoldPendingDeletion(blocked);
    ASSERT_TRUE(holder.IsValid());

    EXPECT_EQ(FileErrorPath([] { payload::ExtractUtilityFiles(); }), blocked);
    holder.Reset();

    // Written before the error: the first three rows; nothing after it.
    EXPECT_EQ(disk::List(kWorkFolder),
              (std::set<std::string>{"SWinFlash.exe", "mfc42.dll", "msvcp60.dll"}));
    ExpectContent(InWorkFolder("SWinFlash.exe"), disk::EmbeddedPayload("SWinFlash.exe"));
    ExpectContent(InWorkFolder("msvcp60.dll"), disk::EmbeddedPayload("msvcp60.dll"));
}

TEST_F(WorkFolder, AFileErrorOnTheImageNamesTheImage) {
    ASSERT_TRUE(disk::CreateFolders(kWorkFolder));
    const std::string image = InWorkFolder("mirtsf13.imc");
    KernelHandle holder = HoldPendingDeletion(image);
    ASSERT_TRUE(holder.IsValid());

    CString imageFile;
    EXPECT_EQ(FileErrorPath([&] { payload::ExtractBiosImage(imageFile); }), image);
    holder.Reset();
    EXPECT_FALSE(disk::Exists(image));
}

// The payload replaced by a resource module of the tests' own, with an empty and a missing entry.
class StandInPayload : public WorkFolder {
protected:
    void SetUp() override {
        WorkFolder::SetUp();
        const std::string path = disk::ProgramFolder() + "\\stand_in_payload.dll";
        m_module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_module, nullptr) << path;
        m_previous = AfxGetResourceHandle();
        AfxSetResourceHandle(m_module);
    }
    void TearDown() override {
        if (m_module != nullptr) {
            AfxSetResourceHandle(m_previous);
            FreeLibrary(m_module);
        }
        WorkFolder::TearDown();
    }

    HMODULE m_module = nullptr;
    HINSTANCE m_previous = nullptr;
};

TEST_F(StandInPayload, EmptyResourceGivesZeroAndTouchesNoFile) {
    ASSERT_TRUE(disk::CreateFolders(kWorkFolder));
    const std::string path = InWorkFolder("PHLASH.INI");
    EXPECT_EQ(payload::WriteResourceFile(IDR_FILE_PHLASH_INI, path.c_str()), 0);
    EXPECT_FALSE(disk::Exists(path));

    ASSERT_TRUE(disk::WriteAll(path, "earlier"));
    EXPECT_EQ(payload::WriteResourceFile(IDR_FILE_PHLASH_INI, path.c_str()), 0);
    EXPECT_EQ(disk::ReadAll(path), std::string("earlier"));
}

TEST_F(StandInPayload, MissingResourceGivesOneAndTouchesNoFile) {
    ASSERT_TRUE(disk::CreateFolders(kWorkFolder));
    const std::string path = InWorkFolder("PhlashLc.dll");
    // Also a number that only matches once cut to 16 bits.
    for (const UINT id : {static_cast<UINT>(IDR_FILE_PHLASHLC), 4000u, 0x10000u + IDR_FILE_MFC42}) {
        EXPECT_EQ(payload::WriteResourceFile(id, path.c_str()), 1) << id;
        EXPECT_FALSE(disk::Exists(path)) << id;
    }
    ASSERT_TRUE(disk::WriteAll(path, "earlier"));
    EXPECT_EQ(payload::WriteResourceFile(IDR_FILE_PHLASHLC, path.c_str()), 1);
    EXPECT_EQ(disk::ReadAll(path), std::string("earlier"));
}

TEST_F(StandInPayload, ExtractionLeavesNoFileForEmptyOrMissingResources) {
    ASSERT_TRUE(disk::CreateFolders(kWorkFolder));
    for (const std::string& name : UtilityFileNames()) {
        ASSERT_TRUE(disk::WriteAll(InWorkFolder(name), "left by an earlier run"));
    }

    EXPECT_EQ(payload::ExtractUtilityFiles(), 0);

    std::set<std::string> expected = UtilityFileNames();
    expected.erase("PHLASH.INI");
    expected.erase("PhlashLc.dll");
    EXPECT_EQ(disk::List(kWorkFolder), expected);
    for (const payload::PayloadFile& file : payload::kUtilityFiles) {
        if (expected.count(file.name) != 0) {
            ExpectContent(InWorkFolder(file.name),
                          disk::ResourceBytes(m_module, file.id).value_or("<missing>"));
        }
    }
    // Binary content with zero bytes and high bytes goes through unchanged.
    EXPECT_EQ(disk::ReadAll(InWorkFolder("SWinFlash.exe")),
              std::string("stand-in flash utility\r\n\0binary tail\xff", 37));
}

} // namespace
