// Threads of CWinThread and run-time class records.

#include "afx.h"

#include <gtest/gtest.h>

#include "message_box_watcher.h"

namespace {

// What a probe thread reports about its run; `deleted` is signalled by its destructor.
struct Observations {
    HANDLE deleted = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE initialised = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD initThreadId = 0;
    DWORD recordedThreadId = 0;
    int exitInstanceCalls = 0;
    int runCalls = 0;
    bool destroyed = false;

    Observations() = default;
    Observations(const Observations&) = delete;
    Observations& operator=(const Observations&) = delete;
    ~Observations() {
        ::CloseHandle(deleted);
        ::CloseHandle(initialised);
    }
    bool WaitDeleted() const { return ::WaitForSingleObject(deleted, 10000) == WAIT_OBJECT_0; }
};

class CProbeThread : public CWinThread {
public:
    enum class Start { fail, runLoop, throwFileError };

    CProbeThread(Observations& observations, Start start)
        : m_observations(observations), m_start(start) {}
    ~CProbeThread() override {
        m_observations.destroyed = true;
        ::SetEvent(m_observations.deleted);
    }

    BOOL InitInstance() override {
        m_observations.initThreadId = ::GetCurrentThreadId();
        m_observations.recordedThreadId = m_nThreadID;
        ::SetEvent(m_observations.initialised);
        if (m_start == Start::throwFileError) {
            AfxThrowFileException(CFileException::fileNotFound, ERROR_FILE_NOT_FOUND, "W:\\x");
        }
        if (m_start == Start::runLoop) {
            ::PostQuitMessage(0);
        }
        return m_start == Start::runLoop ? TRUE : FALSE;
    }
    int ExitInstance() override {
        m_observations.exitInstanceCalls++;
        return 5;
    }
    int Run() override {
        m_observations.runCalls++;
        return CWinThread::Run();
    }

private:
    Observations& m_observations;
    Start m_start;
};

TEST(CWinThread, AFailedStartCallsExitInstanceAndTheObjectDeletesItself) {
    Observations observations;
    auto* thread = new CProbeThread(observations, CProbeThread::Start::fail);
    ASSERT_TRUE(thread->CreateThread());
    ASSERT_TRUE(observations.WaitDeleted());
    EXPECT_NE(observations.initThreadId, ::GetCurrentThreadId());
    EXPECT_EQ(observations.recordedThreadId, observations.initThreadId);
    EXPECT_EQ(observations.exitInstanceCalls, 1);
    EXPECT_EQ(observations.runCalls, 0);
    EXPECT_TRUE(observations.destroyed);
}

TEST(CWinThread, TheHandleIsValidAndTheExitCodeIsExitInstances) {
    Observations observations;
    CProbeThread thread(observations, CProbeThread::Start::fail);
    thread.m_bAutoDelete = FALSE;
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_NE(thread.m_hThread, nullptr);
    EXPECT_NE(thread.m_nThreadID, 0u);
    ASSERT_EQ(::WaitForSingleObject(thread.m_hThread, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    ASSERT_TRUE(::GetExitCodeThread(thread.m_hThread, &exitCode));
    EXPECT_EQ(exitCode, 5u);
    EXPECT_EQ(observations.recordedThreadId, thread.m_nThreadID);
    EXPECT_FALSE(observations.destroyed);
}

TEST(CWinThread, ASuccessfulStartRunsTheLoopThenExitInstance) {
    Observations observations;
    CProbeThread thread(observations, CProbeThread::Start::runLoop);
    thread.m_bAutoDelete = FALSE;
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_EQ(::WaitForSingleObject(thread.m_hThread, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    ::GetExitCodeThread(thread.m_hThread, &exitCode);
    EXPECT_EQ(exitCode, 5u);
    EXPECT_EQ(observations.runCalls, 1);
    EXPECT_EQ(observations.exitInstanceCalls, 1);
}

TEST(CWinThread, ASuspendedThreadWaitsForResume) {
    Observations observations;
    auto* thread = new CProbeThread(observations, CProbeThread::Start::fail);
    ASSERT_TRUE(thread->CreateThread(CREATE_SUSPENDED));
    // A suspended thread cannot have run, whatever the timing.
    EXPECT_EQ(::WaitForSingleObject(observations.initialised, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(::ResumeThread(thread->m_hThread), 1u);
    ASSERT_TRUE(observations.WaitDeleted());
    EXPECT_EQ(observations.exitInstanceCalls, 1);
}

TEST(CWinThread, AnExceptionOnTheThreadIsReportedAndTheObjectStillGoes) {
    Observations observations;
    MessageBoxWatcher watcher(AfxGetAppName());
    auto* thread = new CProbeThread(observations, CProbeThread::Start::throwFileError);
    ASSERT_TRUE(thread->CreateThread());
    const MessageBoxSeen seen = watcher.Result();
    ASSERT_TRUE(observations.WaitDeleted());
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, "W:\\x was not found.");
    EXPECT_EQ(observations.exitInstanceCalls, 0);
}

TEST(CWinThread, ASecondCreateOfARunningObjectIsRefused) {
    Observations observations;
    CProbeThread thread(observations, CProbeThread::Start::fail);
    thread.m_bAutoDelete = FALSE;
    ASSERT_TRUE(thread.CreateThread(CREATE_SUSPENDED));
    EXPECT_FALSE(thread.CreateThread());
    ::ResumeThread(thread.m_hThread);
    ASSERT_EQ(::WaitForSingleObject(thread.m_hThread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(observations.exitInstanceCalls, 1);
}

class CCreatableThread : public CWinThread {
    DECLARE_DYNCREATE(CCreatableThread)

public:
    int m_nMarker = 17;
};

IMPLEMENT_DYNCREATE(CCreatableThread, CWinThread)

TEST(RuntimeClass, RecordsNameSizeSchemaCreatorAndBase) {
    const CRuntimeClass* record = RUNTIME_CLASS(CCreatableThread);
    EXPECT_STREQ(record->m_lpszClassName, "CCreatableThread");
    EXPECT_EQ(record->m_nObjectSize, static_cast<int>(sizeof(CCreatableThread)));
    EXPECT_EQ(record->m_wSchema, 0xFFFFu);
    EXPECT_NE(record->m_pfnCreateObject, nullptr);
    EXPECT_EQ(record->m_pBaseClass, RUNTIME_CLASS(CWinThread));
    EXPECT_STREQ(RUNTIME_CLASS(CWinThread)->m_lpszClassName, "CWinThread");
    EXPECT_EQ(RUNTIME_CLASS(CWinThread)->m_pBaseClass, RUNTIME_CLASS(CCmdTarget));
    EXPECT_EQ(RUNTIME_CLASS(CCmdTarget)->m_pBaseClass, RUNTIME_CLASS(CObject));
    EXPECT_TRUE(record->IsDerivedFrom(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(RUNTIME_CLASS(CWinThread)->IsDerivedFrom(record));
}

TEST(RuntimeClass, CreateObjectBuildsADefaultObjectOfTheClass) {
    CObject* object = RUNTIME_CLASS(CCreatableThread)->CreateObject();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetRuntimeClass(), RUNTIME_CLASS(CCreatableThread));
    EXPECT_TRUE(object->IsKindOf(RUNTIME_CLASS(CWinThread)));
    auto* thread = static_cast<CCreatableThread*>(object);
    EXPECT_EQ(thread->m_nMarker, 17);
    EXPECT_TRUE(thread->m_bAutoDelete);
    delete object;
    // Without a creation function there is nothing to create.
    EXPECT_EQ(RUNTIME_CLASS(CWinThread)->CreateObject(), nullptr);
}

} // namespace
