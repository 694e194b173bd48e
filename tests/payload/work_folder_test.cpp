// The work folder's routines on the real disk, with the Program Files folder moved into a scratch
// folder, against the payload this program carries like the shipped one.
#include "import_patch.h"
#include "payload/payload_hold.h"
#include "payload/work_folder.h"
#include "payload/work_paths.h"
#include "res/resource.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <tuple>
#include <shlobj.h>

namespace {

using support::List;
using support::ReadFile;
using support::WriteFile;
using Names = std::set<std::string>;

constexpr UINT kEmptyResource = 4001; // payload_test.rc
constexpr UINT kMissingResource = 4000;

std::string ResourceBytes(UINT id) {
    const HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "File");
    const auto* data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    return std::string(data, SizeofResource(nullptr, found));
}

void ExtractAll() {
    payload::ExtractUtilityFiles();
    CString imageFile;
    payload::ExtractBiosImage(imageFile);
}

// Every utility file in `folder` but those `except` holds its resource's bytes.
void ExpectUtilityFiles(const std::string& folder, const Names& except = {}) {
    for (const payload::PayloadFile& file : payload::kUtilityFiles) {
        if (except.count(file.name) == 0) {
            EXPECT_EQ(ReadFile(folder + "\\" + file.name), ResourceBytes(file.id)) << file.name;
        }
    }
}

class WorkFolder : public testing::Test {
protected:
    std::string PathOf(const std::string& name) const { return folder + "\\" + name; }

    support::ScratchFolder scratch;
    support::MovedProgramFiles programFiles{scratch.PathOf("Program Files")};
    const std::string folder = support::WorkFolder();
};

TEST_F(WorkFolder, CleanUpRemovesTheListedFilesAndTheFolderWhenNothingElseIsLeft) {
    ASSERT_TRUE(programFiles.Applied());
    ExtractAll();
    for (const char* name : {"WINPHLASH.GID", "PHLASH.txt", "BIOS.bak", "notes.txt"}) {
        WriteFile(PathOf(name), "left by the flash utility");
    }
    payload::CleanUpWorkFolder();
    EXPECT_EQ(List(folder), (Names{"BIOS.bak", "notes.txt"}));
    DeleteFileA(PathOf("BIOS.bak").c_str());
    DeleteFileA(PathOf("notes.txt").c_str());
    payload::CleanUpWorkFolder();
    EXPECT_FALSE(support::Exists(folder));
    payload::CleanUpWorkFolder(); // without a folder
    EXPECT_EQ(List(scratch.PathOf("Program Files")), Names{});
}

TEST_F(WorkFolder, UndeletableTargetsKeepTheirOldStateWhileTheOthersAreWritten) {
    ASSERT_TRUE(support::CreateFolders(PathOf("msvcrt.dll")));
    WriteFile(PathOf("mfc42.dll"), "earlier run");
    WriteFile(PathOf("PHLASH.INI"), "earlier run");
    SetFileAttributesA(PathOf("PHLASH.INI").c_str(), FILE_ATTRIBUTE_READONLY);
    // Readers may share it, but nobody may delete it.
    const KernelHandle holder(CreateFileA(PathOf("mfc42.dll").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    payload::ExtractUtilityFiles();
    EXPECT_TRUE(support::IsDirectory(PathOf("msvcrt.dll")));
    EXPECT_EQ(ReadFile(PathOf("mfc42.dll")), "earlier run");
    EXPECT_EQ(ReadFile(PathOf("PHLASH.INI")), "earlier run");
    ExpectUtilityFiles(folder, {"msvcrt.dll", "mfc42.dll", "PHLASH.INI"});
}

TEST_F(WorkFolder, ATargetThatCannotBeCreatedRaisesTheFileErrorAndEndsTheExtraction) {
    // Deletable, but its name cannot be taken again while this handle is open.
    const std::string blocked = PathOf("msvcrt.dll");
    WriteFile(blocked, "pending deletion");
    KernelHandle holder(CreateFileA(blocked.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    std::string named;
    try {
        payload::ExtractUtilityFiles();
    } catch (const CFileException& error) {
        named = error.m_strFileName.GetString();
    }
    EXPECT_EQ(named, blocked);
    holder.Reset();
    EXPECT_EQ(List(folder), (Names{"SWinFlash.exe", "mfc42.dll", "msvcp60.dll"}));
}

TEST_F(WorkFolder, AnEmptyOrMissingResourceWritesNothing) {
    support::CreateFolders(folder);
    EXPECT_EQ(payload::WriteResourceFile(kEmptyResource, PathOf("PHLASH.INI").c_str()), 0);
    EXPECT_EQ(payload::WriteResourceFile(kMissingResource, PathOf("PHLASH.INI").c_str()), 1);
    EXPECT_EQ(List(folder), Names{});
}

// A change an older package, another user or an attacker may have made to the work folder after
// the payload was written, and whether the flash may still go ahead.
struct Tampering {
    const char* name;
    std::function<void(const std::string& folder)> apply;
    bool holds;
};

void Write(const std::string& path, const std::string& content) {
    ASSERT_TRUE(WriteFile(path, content)) << path;
}

const Tampering kTamperings[] = {
    {"NoneButTheUtilitysOwnFiles",
     [](const std::string& f) {
         for (const char* name : {"BIOS.bak", "PHLASH.txt", "notes.txt"}) {
             Write(f + "\\" + name, "left by the utility");
         }
         support::CreateFolders(f + "\\cache.dll"); // a folder is never loaded
     },
     true},
    {"ImageOfOtherBytes",
     [](const std::string& f) {
         std::string image = *ReadFile(f + "\\mirtsf13.imc");
         image[image.size() / 2] ^= 1;
         Write(f + "\\mirtsf13.imc", image);
     },
     false},
    {"ImageWithATail",
     [](const std::string& f) {
         Write(f + "\\mirtsf13.imc", *ReadFile(f + "\\mirtsf13.imc") + "x");
     },
     false},
    {"UtilityMissing", [](const std::string& f) { DeleteFileA((f + "\\SWinFlash.exe").c_str()); },
     false},
    {"FolderInAFilesPlace",
     [](const std::string& f) {
         DeleteFileA((f + "\\msvcrt.dll").c_str());
         support::CreateFolders(f + "\\msvcrt.dll");
     },
     false},
    {"PlantedLibrary", [](const std::string& f) { Write(f + "\\version.dll", "MZ"); }, false},
    {"PlantedDriverInUpperCase", [](const std::string& f) { Write(f + "\\HELPER.SYS", "MZ"); },
     false},
};

class PayloadHoldTest : public testing::TestWithParam<Tampering> {
protected:
    support::ScratchFolder scratch;
    support::MovedProgramFiles programFiles{scratch.PathOf("Program Files")};
    const std::string folder = support::WorkFolder();
};

TEST_P(PayloadHoldTest, HoldsOnlyThePackagesOwnPayload) {
    ExtractAll();
    GetParam().apply(folder);
    payload::PayloadHold hold;
    EXPECT_EQ(hold.Acquire(folder.c_str()), GetParam().holds);
}

INSTANTIATE_TEST_SUITE_P(Tamperings, PayloadHoldTest, testing::ValuesIn(kTamperings),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(WorkFolder, WhileHeldThePayloadCanBeReadButNotChangedReplacedOrDeleted) {
    ExtractAll();
    const std::string image = PathOf("mirtsf13.imc");
    const std::string other = PathOf("other.bin");
    Write(other, "other bytes");
    auto hold = std::make_unique<payload::PayloadHold>();
    ASSERT_TRUE(hold->Acquire(folder.c_str()));
    for (const payload::PayloadFile& file : payload::kUtilityFiles) {
        const std::string path = PathOf(file.name);
        EXPECT_TRUE(KernelHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, 0, nullptr)))
            << file.name;
        EXPECT_FALSE(KernelHandle(CreateFileA(
            path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, 0, nullptr)))
            << file.name;
        EXPECT_FALSE(DeleteFileA(path.c_str())) << file.name;
    }
    EXPECT_FALSE(MoveFileExA(other.c_str(), image.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(MoveFileA(folder.c_str(), (folder + "-moved").c_str()));
    hold.reset();
    EXPECT_TRUE(MoveFileExA(other.c_str(), image.c_str(), MOVEFILE_REPLACE_EXISTING));
}

// Every file in `folder` with its content.
std::map<std::string, std::optional<std::string>> Snapshot(const std::string& folder) {
    std::map<std::string, std::optional<std::string>> files;
    for (const std::string& name : List(folder)) {
        files[name] = ReadFile(folder + "\\" + name);
    }
    return files;
}

// The longest Program Files path holds the whole payload, written afresh over the longer leftovers
// of an interrupted run; one character more is refused without touching the disk, the drive root
// (where "\BIOSUPDATE" would lie) included.
TEST(ProgramFilesBounds, TheLongestAcceptedHoldsThePayloadAndOneMoreIsRefused) {
    SetCurrentDirectoryA("C:\\");
    for (const std::size_t length : {234, 235}) {
        const support::ScratchFolder scratch;
        const std::string programFiles =
            scratch.PathOf(std::string(length - scratch.Path().size() - 1, 'p'));
        const std::string folder = programFiles + "\\BIOSUPDATE";
        const support::MovedProgramFiles moved(programFiles);
        ASSERT_TRUE(moved.Applied());
        for (const payload::PayloadFile& file : payload::kUtilityFiles) {
            WriteFile(folder + "\\" + file.name, ResourceBytes(file.id) + " and a stale tail");
        }
        const auto before = Snapshot(folder);
        const Names root = List("C:");
        ExtractAll();
        if (length == 234) {
            ExpectUtilityFiles(folder); // "SWinFlash.exe" makes a path of 259 characters
            EXPECT_EQ(ReadFile(folder + "\\mirtsf13.imc"), ResourceBytes(IDR_FILE_BIOS_IMAGE));
        }
        payload::CleanUpWorkFolder();
        EXPECT_EQ(Snapshot(folder), length == 234 ? decltype(before){} : before);
        EXPECT_EQ(List("C:"), root) << length;
    }
}

HRESULT WINAPI NoProgramFiles(HWND, int, HANDLE, DWORD, char* path) {
    path[0] = '\0';
    return E_FAIL;
}

// Where the program cannot name its Program Files folder, or finds a file in its work folder's
// place, it writes and deletes nothing: not at the drive's root, where "\\BIOSUPDATE" would lie and
// any user may have made it first, and not in the file's place. (A link in the work folder's place
// is planted by the end-to-end runner, from the host.)
TEST(WorkFolderRefusal, NoProgramFilesFolderOrAFileInTheWorkFoldersPlace) {
    SetCurrentDirectoryA("C:\\");
    const support::ScratchFolder scratch;
    const std::string programFiles = scratch.PathOf("Program Files");
    const support::MovedProgramFiles moved(programFiles);
    ASSERT_TRUE(moved.Applied());
    const std::string rootFolder = "C:\\BIOSUPDATE";
    const std::string workFolder = programFiles + "\\BIOSUPDATE";
    const auto disk = [&] {
        return std::make_tuple(Snapshot(rootFolder), ReadFile(workFolder), List(programFiles));
    };
    for (const bool noProgramFiles : {true, false}) {
        SCOPED_TRACE(noProgramFiles ? "no Program Files folder" : "a file in the folder's place");
        std::optional<ImportPatch<decltype(::SHGetFolderPathA)>> patch;
        if (noProgramFiles) {
            patch.emplace("shell32.dll", "SHGetFolderPathA", &NoProgramFiles);
            ASSERT_TRUE(patch->Applied());
            Write(rootFolder + "\\SWinFlash.exe", "made first by another user");
        } else {
            Write(workFolder, "a file in the folder's place");
        }
        const auto before = disk();
        char path[MAX_PATH];
        EXPECT_FALSE(payload::GetOwnWorkFolder(path));
        ExtractAll();
        EXPECT_EQ(disk(), before);
        payload::CleanUpWorkFolder();
        payload::FinishUpdateRun();
        EXPECT_EQ(disk(), before);
        support::RemoveTree(rootFolder);
        support::RemoveTree(workFolder);
    }
}

} // namespace
