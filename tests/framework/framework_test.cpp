// What the program relies on from its framework and no other test catches: the file error's text
// for each cause, a short write counted as a full disk, and the exception boundary of window,
// dialog and thread procedures (reported through the application or the thread's own object, the
// loop or thread going on).
#include "afx.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

// The reports, with the message being handled (0 on a thread), read once the reporter is done.
using Reports = std::vector<std::pair<std::string, UINT>>;

class CRecordingApp : public CWinApp {
public:
    void ProcessWndProcException(const CException& e, const MSG* msg) override {
        reports.emplace_back(e.GetErrorMessage().GetString(), msg != nullptr ? msg->message : 0);
    }
    Reports reports;
};

CRecordingApp theApp;

TEST(FileError, NamesThePathInTheStandardTextOfItsCause) {
    const std::pair<LONG, const char*> rows[] = {
        {ERROR_ACCESS_DENIED, "Access to C:\\w\\a.bin was denied."},
        {ERROR_SHARING_VIOLATION, "A sharing violation occurred while accessing C:\\w\\a.bin."},
        {ERROR_PATH_NOT_FOUND, "C:\\w\\a.bin contains an invalid path."},
        {ERROR_FILE_NOT_FOUND, "C:\\w\\a.bin was not found."},
        {ERROR_DISK_FULL, "Disk full while accessing C:\\w\\a.bin."},
        {123456, "An unexpected error occurred while accessing C:\\w\\a.bin."},
    };
    for (const auto& [osError, text] : rows) {
        const CFileException error(CFileException::OsErrorToException(osError), osError,
                                   "C:\\w\\a.bin");
        EXPECT_STREQ(error.GetErrorMessage().GetString(), text) << osError;
    }
}

TEST(FileError, AShortWriteCountsAsAFullDisk) {
    // A non-blocking pipe that nobody reads takes only what fits into its buffer.
    const std::string name = "\\\\.\\pipe\\short-write-" + std::to_string(GetCurrentProcessId());
    const KernelHandle server(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND,
                                               PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 0, 16, 0, nullptr));
    ASSERT_TRUE(server.IsValid());
    CFile pipe(name.c_str(), CFile::modeWrite);
    DWORD mode = PIPE_NOWAIT;
    ASSERT_TRUE(SetNamedPipeHandleState(pipe.GetHandle(), &mode, nullptr, nullptr));
    const std::string block(256 * 1024, 'x');
    try {
        pipe.Write(block.data(), static_cast<UINT>(block.size()));
        ADD_FAILURE() << "the whole block went into the pipe";
    } catch (const CFileException& error) {
        EXPECT_EQ(error.GetErrorMessage(), ("Disk full while accessing " + name + ".").c_str());
    }
}

class CThrowingDlg : public CDialog {
public:
    CThrowingDlg() : CDialog(100) {}

    BOOL OnInitDialog() override {
        PostMessage(WM_TIMER, 1);
        AfxThrowFileException(CFileException::accessDenied, ERROR_ACCESS_DENIED, "C:\\w\\b.bin");
    }

protected:
    afx_msg void OnTimer(UINT_PTR) {
        PostQuitMessage(7);
        throw std::bad_alloc();
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CThrowingDlg, CDialog)
ON_WM_TIMER()
END_MESSAGE_MAP()

TEST(ExceptionBoundary, EachEscapeFromTheDialogIsReportedAndTheLoopGoesOn) {
    CThrowingDlg dialog;
    EXPECT_EQ(dialog.DoModal(), 7);
    EXPECT_EQ(std::exchange(theApp.reports, {}),
              (Reports{{"Access to C:\\w\\b.bin was denied.", WM_INITDIALOG},
                       {"Out of memory.", WM_TIMER}}));
}

class CProbeThread : public CWinThread {
public:
    CProbeThread(bool throws, bool& deleted) : m_throws(throws), m_deleted(deleted) {}
    ~CProbeThread() override { m_deleted = true; }
    // A thread's escaped exception reaches its own object, which hands it to the recorder here.
    void ProcessWndProcException(const CException& e, const MSG* msg) override {
        theApp.ProcessWndProcException(e, msg);
    }
    BOOL InitInstance() override {
        if (m_throws) {
            AfxThrowFileException(CFileException::fileNotFound, ERROR_FILE_NOT_FOUND, "W:\\x");
        }
        return FALSE;
    }
    int ExitInstance() override { return 5; }

private:
    bool m_throws;
    bool& m_deleted;
};

TEST(ExceptionBoundary, AThreadEndsWithItsExitCodeOrItsReportAndDeletesItself) {
    for (const bool throws : {false, true}) {
        bool deleted = false;
        auto* thread = new CProbeThread(throws, deleted);
        ASSERT_TRUE(thread->CreateThread(CREATE_SUSPENDED));
        KernelHandle handle;
        DuplicateHandle(GetCurrentProcess(), thread->m_hThread.Get(), GetCurrentProcess(),
                        handle.Receive(), 0, FALSE, DUPLICATE_SAME_ACCESS);
        ResumeThread(thread->m_hThread.Get());
        ASSERT_EQ(WaitForSingleObject(handle.Get(), 10000), WAIT_OBJECT_0);
        DWORD exitCode = 0;
        GetExitCodeThread(handle.Get(), &exitCode);
        EXPECT_EQ(exitCode, throws ? static_cast<DWORD>(-1) : 5u);
        EXPECT_TRUE(deleted) << throws;
        const Reports expected = {{"W:\\x was not found.", 0}};
        EXPECT_EQ(std::exchange(theApp.reports, {}), throws ? expected : Reports{});
    }
}

} // namespace
