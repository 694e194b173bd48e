// Threads that run an object's InitInstance and, when it succeeds, a message loop.
#pragma once

#include <windows.h>

#include "afx_handle.h"
#include "afx_object.h"

class CException;

class CWinThread : public CCmdTarget {
    DECLARE_DYNAMIC(CWinThread)

public:
    CWinThread() = default;
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts the thread (suspended when createFlags holds CREATE_SUSPENDED). With m_bAutoDelete
    // the object may be gone by the time this returns TRUE.
    BOOL CreateThread(DWORD createFlags = 0, UINT stackSize = 0,
                      LPSECURITY_ATTRIBUTES security = nullptr);

    // Lets a thread started with CREATE_SUSPENDED run; the previous suspend count, or
    // (DWORD)-1 on failure.
    DWORD ResumeThread();

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // A message loop until WM_QUIT; returns ExitInstance's result.
    virtual int Run();
    // Reports an exception that escaped InitInstance or Run, or a message handler of a window
    // while this thread's InitInstance or Run is running; by default e.ReportError().
    virtual void ProcessWndProcException(const CException& e, const MSG* msg);

    BOOL m_bAutoDelete = TRUE;
    // Closed with the object.
    KernelHandle m_hThread;
    DWORD m_nThreadID = 0;

protected:
    // InitInstance, then Run or ExitInstance; the exit code of the thread.
    int RunThreadBody();

private:
    static unsigned __stdcall ThreadEntry(void* parameter);
};

// The thread object whose InitInstance or Run is running on the calling thread, or null.
CWinThread* AfxGetThread();
