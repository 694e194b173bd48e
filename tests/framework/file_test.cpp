// File errors, files and folder searches on real files, and the report of a file error when the
// program has no application object.

#include "afx.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "message_box_watcher.h"
#include "scratch_folder.h"
#include "test_case_name.h"

namespace {

struct OsErrorCase {
    const char* name;
    LONG osError;
    int cause;
};

class OsErrorToException : public ::testing::TestWithParam<OsErrorCase> {};

TEST_P(OsErrorToException, MapsTheSystemErrorToItsCause) {
    EXPECT_EQ(CFileException::OsErrorToException(GetParam().osError), GetParam().cause);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, OsErrorToException,
    ::testing::Values(
        OsErrorCase{"FileNotFound", ERROR_FILE_NOT_FOUND, CFileException::fileNotFound},
        OsErrorCase{"PathNotFound", ERROR_PATH_NOT_FOUND, CFileException::badPath},
        OsErrorCase{"InvalidName", ERROR_INVALID_NAME, CFileException::badPath},
        OsErrorCase{"TooManyOpen", ERROR_TOO_MANY_OPEN_FILES, CFileException::tooManyOpenFiles},
        OsErrorCase{"AccessDenied", ERROR_ACCESS_DENIED, CFileException::accessDenied},
        OsErrorCase{"WriteProtect", ERROR_WRITE_PROTECT, CFileException::accessDenied},
        OsErrorCase{"InvalidHandle", ERROR_INVALID_HANDLE, CFileException::invalidFile},
        OsErrorCase{"CurrentDirectory", ERROR_CURRENT_DIRECTORY, CFileException::removeCurrentDir},
        OsErrorCase{"Seek", ERROR_SEEK, CFileException::badSeek},
        OsErrorCase{"NotReady", ERROR_NOT_READY, CFileException::hardIO},
        OsErrorCase{"Sharing", ERROR_SHARING_VIOLATION, CFileException::sharingViolation},
        OsErrorCase{"Lock", ERROR_LOCK_VIOLATION, CFileException::lockViolation},
        OsErrorCase{"DiskFull", ERROR_DISK_FULL, CFileException::diskFull},
        OsErrorCase{"HandleDiskFull", ERROR_HANDLE_DISK_FULL, CFileException::diskFull},
        OsErrorCase{"EndOfFile", ERROR_HANDLE_EOF, CFileException::endOfFile},
        OsErrorCase{"UnknownCode", 123456, CFileException::genericException},
        OsErrorCase{"NoCode", -1, CFileException::genericException}),
    CaseName<OsErrorCase>);

struct TextCase {
    const char* name;
    int cause;
    const char* expected;
};

class FileErrorText : public ::testing::TestWithParam<TextCase> {};

TEST_P(FileErrorText, PutsThePathInTheStandardText) {
    const CFileException error(GetParam().cause, -1, "C:\\Work\\a.bin");
    EXPECT_STREQ(error.GetErrorMessage().GetString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FileErrorText,
    ::testing::Values(
        TextCase{"AccessDenied", CFileException::accessDenied,
                 "Access to C:\\Work\\a.bin was denied."},
        TextCase{"DiskFull", CFileException::diskFull,
                 "Disk full while accessing C:\\Work\\a.bin."},
        TextCase{"FileNotFound", CFileException::fileNotFound, "C:\\Work\\a.bin was not found."},
        TextCase{"BadPath", CFileException::badPath, "C:\\Work\\a.bin contains an invalid path."},
        TextCase{"Sharing", CFileException::sharingViolation,
                 "A sharing violation occurred while accessing C:\\Work\\a.bin."},
        TextCase{"Generic", CFileException::genericException,
                 "An unexpected error occurred while accessing C:\\Work\\a.bin."},
        TextCase{"OutOfRangeCause", 99,
                 "An unexpected error occurred while accessing C:\\Work\\a.bin."}),
    CaseName<TextCase>);

TEST(FileErrorText, NamesAnUnnamedFileAndNeverExpandsThePathAgain) {
    EXPECT_STREQ(CFileException(CFileException::diskFull).GetErrorMessage().GetString(),
                 "Disk full while accessing an unnamed file.");
    EXPECT_STREQ(
        CFileException(CFileException::accessDenied, -1, "C:\\%1\\x").GetErrorMessage().GetString(),
        "Access to C:\\%1\\x was denied.");
}

constexpr UINT kNewBinaryFile = CFile::modeCreate | CFile::modeWrite | CFile::typeBinary;

TEST(CFile, CreatesWritesAndClosesARealFile) {
    ScratchFolder folder;
    folder.WriteFile("data.bin", "previous content that must go");
    const std::string bytes("\x00\x01payload\xFF", 10);
    CFile file(folder.PathOf("data.bin").c_str(), kNewBinaryFile);
    file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    file.Write(bytes.data(), 0);
    file.Close();
    EXPECT_EQ(folder.ReadFile("data.bin"), bytes);
    EXPECT_EQ(file.GetHandle(), nullptr);
}

TEST(CFile, KeepsTheContentWithNoTruncate) {
    ScratchFolder folder;
    folder.WriteFile("kept.txt", "abc");
    CFile file;
    ASSERT_TRUE(file.Open(folder.PathOf("kept.txt").c_str(),
                          CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite));
    file.Write("X", 1);
    file.Close();
    EXPECT_EQ(folder.ReadFile("kept.txt"), "Xbc");
}

void ExpectAccessDenied(const std::string& path) {
    try {
        CFile file(path.c_str(), kNewBinaryFile);
        ADD_FAILURE() << path << " was opened for writing";
    } catch (const CFileException& error) {
        EXPECT_EQ(error.m_cause, CFileException::accessDenied);
        EXPECT_EQ(error.m_lOsError, static_cast<LONG>(ERROR_ACCESS_DENIED));
        EXPECT_STREQ(error.m_strFileName.GetString(), path.c_str());
        EXPECT_EQ(error.GetErrorMessage(), ("Access to " + path + " was denied.").c_str());
    }
}

TEST(CFile, ThrowsAccessDeniedForAReadOnlyFile) {
    ScratchFolder folder;
    folder.WriteFile("locked.bin", "old");
    const std::string path = folder.PathOf("locked.bin");
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    const HANDLE probe = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        ::CloseHandle(probe);
        GTEST_SKIP() << "this user may write read-only files (Wine run by root)";
    }
    ExpectAccessDenied(path);
    EXPECT_EQ(folder.ReadFile("locked.bin"), "old");
}

TEST(CFile, ThrowsAccessDeniedForAFolderInThePlaceOfTheFile) {
    ScratchFolder folder;
    folder.MakeFolder("PHLASH.INI");
    ExpectAccessDenied(folder.PathOf("PHLASH.INI"));
}

struct OpenFailureCase {
    const char* name;
    const char* relativePath; // null: no file name at all
    UINT flags;
    int cause;
};

class CFileOpenFailure : public ::testing::TestWithParam<OpenFailureCase> {};

TEST_P(CFileOpenFailure, ReportsTheCauseAndThePath) {
    ScratchFolder folder;
    const OpenFailureCase& c = GetParam();
    const std::string path = c.relativePath != nullptr ? folder.PathOf(c.relativePath) : "";
    const char* fileName = c.relativePath != nullptr ? path.c_str() : nullptr;
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(fileName, c.flags, &error));
    EXPECT_EQ(error.m_cause, c.cause);
    EXPECT_STREQ(error.m_strFileName.GetString(), path.c_str());
    EXPECT_EQ(file.GetHandle(), nullptr);
    EXPECT_THROW(CFile(fileName, c.flags), CFileException);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CFileOpenFailure,
    ::testing::Values(
        OpenFailureCase{"MissingFile", "absent.bin", CFile::modeRead, CFileException::fileNotFound},
        OpenFailureCase{"MissingFolder", "absent\\new.bin", kNewBinaryFile,
                        CFileException::badPath},
        OpenFailureCase{"NoFileName", nullptr, kNewBinaryFile, CFileException::badPath},
        OpenFailureCase{"ContradictoryAccess", "x.bin", CFile::modeCreate | 3,
                        CFileException::genericException}),
    CaseName<OpenFailureCase>);

TEST(CFile, ThrowsOnAWriteTheSystemRefuses) {
    ScratchFolder folder;
    folder.WriteFile("read.bin", "abc");
    CFile file(folder.PathOf("read.bin").c_str(), CFile::modeRead);
    try {
        file.Write("x", 1);
        FAIL() << "writing to a file opened for reading succeeded";
    } catch (const CFileException& error) {
        EXPECT_EQ(error.m_cause, CFileException::accessDenied);
        EXPECT_STREQ(error.m_strFileName.GetString(), folder.PathOf("read.bin").c_str());
    }
}

TEST(CFile, ThrowsInvalidFileWhenWritingWithoutAnOpenFile) {
    CFile file;
    try {
        file.Write("x", 1);
        FAIL() << "a write without a file succeeded";
    } catch (const CFileException& error) {
        EXPECT_EQ(error.m_cause, CFileException::invalidFile);
    }
}

TEST(CFile, CountsAShortWriteAsAFullDisk) {
    // A non-blocking pipe with nobody reading takes only what fits into its buffer.
    const std::string pipeName =
        "\\\\.\\pipe\\afx-short-write-" + std::to_string(::GetCurrentProcessId());
    const HANDLE server =
        ::CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_INBOUND,
                           PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_NOWAIT, 1, 0, 16, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    {
        CFile pipe(pipeName.c_str(), CFile::modeWrite);
        DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
        ASSERT_TRUE(::SetNamedPipeHandleState(pipe.GetHandle(), &mode, nullptr, nullptr));
        const std::string block(256 * 1024, 'x');
        try {
            pipe.Write(block.data(), static_cast<UINT>(block.size()));
            ADD_FAILURE() << "the whole block went into the pipe";
        } catch (const CFileException& error) {
            EXPECT_EQ(error.m_cause, CFileException::diskFull);
            EXPECT_STREQ(error.m_strFileName.GetString(), pipeName.c_str());
        }
    }
    ::CloseHandle(server);
}

std::vector<std::string> NamesFound(const std::string& pattern, std::vector<std::string>* dots) {
    std::vector<std::string> names;
    CFileFind find;
    BOOL more = find.FindFile(pattern.c_str());
    while (more) {
        more = find.FindNextFile();
        (find.IsDots() ? *dots : names).push_back(find.GetFileName().GetString());
    }
    std::sort(names.begin(), names.end());
    std::sort(dots->begin(), dots->end());
    return names;
}

TEST(CFileFind, VisitsEveryMatchIncludingTheLastAndTellsTheDots) {
    ScratchFolder folder;
    folder.WriteFile("a.txt", "1");
    folder.WriteFile("b.txt", "2");
    folder.WriteFile("c.bin", "3");
    folder.MakeFolder("sub");
    std::vector<std::string> dots;
    EXPECT_EQ(NamesFound(folder.PathOf("*"), &dots),
              (std::vector<std::string>{"a.txt", "b.txt", "c.bin", "sub"}));
    EXPECT_EQ(dots, (std::vector<std::string>{".", ".."}));
    dots.clear();
    EXPECT_EQ(NamesFound(folder.PathOf("*.txt"), &dots),
              (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(dots.empty());
}

TEST(CFileFind, TheLastMatchStaysCurrentAfterFindNextFileSaysFalse) {
    ScratchFolder folder;
    folder.WriteFile("only.bin", "1");
    CFileFind find;
    ASSERT_TRUE(find.FindFile(folder.PathOf("only.bin").c_str()));
    EXPECT_TRUE(find.GetFileName().IsEmpty());
    // The one match is the last one: FALSE, but it is current.
    EXPECT_FALSE(find.FindNextFile());
    EXPECT_STREQ(find.GetFileName().GetString(), "only.bin");
    EXPECT_FALSE(find.IsDots());
    EXPECT_FALSE(find.IsDirectory());
    // Past the end nothing changes.
    EXPECT_FALSE(find.FindNextFile());
    EXPECT_STREQ(find.GetFileName().GetString(), "only.bin");
    find.Close();
    EXPECT_TRUE(find.GetFileName().IsEmpty());
}

TEST(CFileFind, FindsNothingInAnEmptyOrMissingFolder) {
    ScratchFolder folder;
    CFileFind find;
    EXPECT_FALSE(find.FindFile(folder.PathOf("*.none").c_str()));
    EXPECT_FALSE(find.FindNextFile());
    EXPECT_FALSE(find.FindFile(folder.PathOf("missing\\*").c_str()));
    EXPECT_TRUE(find.GetFileName().IsEmpty());
}

// This program has no application object: the caption is the executable's name.
constexpr char kProgramName[] = "framework_files_test";

TEST(Reports, AFileErrorShowsItsTextWithAStopIcon) {
    ASSERT_EQ(AfxGetApp(), nullptr);
    ASSERT_STREQ(AfxGetAppName(), kProgramName);
    MessageBoxWatcher watcher(kProgramName);
    CFileException(CFileException::accessDenied, ERROR_ACCESS_DENIED, "C:\\x\\PHLASH.INI")
        .ReportError();
    const MessageBoxSeen seen = watcher.Result();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, "Access to C:\\x\\PHLASH.INI was denied.");
    EXPECT_TRUE(ShowsSystemIcon(seen, IDI_HAND));
    EXPECT_FALSE(seen.topmost);
}

TEST(Reports, OutOfMemoryIsSystemModal) {
    MessageBoxWatcher watcher(kProgramName);
    CMemoryException().ReportError();
    const MessageBoxSeen seen = watcher.Result();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, "Out of memory.");
    EXPECT_TRUE(ShowsSystemIcon(seen, IDI_HAND));
    EXPECT_TRUE(seen.topmost);
}

TEST(Reports, AnEscapedExceptionIsReportedDirectlyWithoutAnApplication) {
    MessageBoxWatcher watcher(kProgramName);
    AfxProcessEscapedException(CFileException(CFileException::diskFull, ERROR_DISK_FULL, "D:\\f"),
                               nullptr);
    const MessageBoxSeen seen = watcher.Result();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, "Disk full while accessing D:\\f.");
}

TEST(Reports, AfxMessageBoxAddsAnExclamationOnlyWithoutAnIcon) {
    MessageBoxWatcher plain(kProgramName);
    EXPECT_EQ(AfxMessageBox("plain"), IDOK);
    const MessageBoxSeen plainSeen = plain.Result();
    ASSERT_TRUE(plainSeen.found);
    EXPECT_EQ(plainSeen.text, "plain");
    EXPECT_TRUE(ShowsSystemIcon(plainSeen, IDI_EXCLAMATION));

    MessageBoxWatcher stop(kProgramName);
    EXPECT_EQ(AfxMessageBox("stop", MB_ICONSTOP), IDOK);
    const MessageBoxSeen stopSeen = stop.Result();
    EXPECT_TRUE(ShowsSystemIcon(stopSeen, IDI_HAND));
    EXPECT_FALSE(ShowsSystemIcon(stopSeen, IDI_EXCLAMATION));
}

} // namespace
