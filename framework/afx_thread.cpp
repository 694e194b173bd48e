#include "afx_thread.h"

#include <process.h>

#include "afx_boundary.h"
#include "afx_exception.h"

#include <utility>

namespace {

thread_local CWinThread* t_currentThread = nullptr;

} // namespace

IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)

BOOL CWinThread::CreateThread(DWORD createFlags, UINT stackSize, LPSECURITY_ATTRIBUTES security) {
    if (m_hThread) {
        return FALSE;
    }
    // Started suspended so that the handle and id are stored before the thread can run (and
    // perhaps delete this object).
    unsigned threadId = 0;
    const auto thread =
        reinterpret_cast<HANDLE>(::_beginthreadex(security, stackSize, &CWinThread::ThreadEntry,
                                                  this, createFlags | CREATE_SUSPENDED, &threadId));
    if (thread == nullptr) {
        return FALSE;
    }
    m_hThread.Reset(thread);
    m_nThreadID = threadId;
    if ((createFlags & CREATE_SUSPENDED) != 0) {
        return TRUE;
    }
    if (::ResumeThread(thread) == static_cast<DWORD>(-1)) {
        // It never ran: end it so that it cannot start later behind the caller's back.
        ::TerminateThread(thread, static_cast<DWORD>(-1));
        m_hThread.Reset();
        m_nThreadID = 0;
        return FALSE;
    }
    return TRUE;
}

DWORD CWinThread::ResumeThread() {
    return ::ResumeThread(m_hThread.Get());
}

BOOL CWinThread::InitInstance() {
    return FALSE;
}

int CWinThread::ExitInstance() {
    return 0;
}

int CWinThread::Run() {
    MSG message{};
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return ExitInstance();
}

void CWinThread::ProcessWndProcException(const CException& e, const MSG*) {
    e.ReportError();
}

int CWinThread::RunThreadBody() {
    CWinThread* const outer = std::exchange(t_currentThread, this);
    int exitCode = -1;
    afx_detail::RunGuarded(nullptr, [&] { exitCode = InitInstance() ? Run() : ExitInstance(); });
    t_currentThread = outer;
    return exitCode;
}

unsigned __stdcall CWinThread::ThreadEntry(void* parameter) {
    auto* thread = static_cast<CWinThread*>(parameter);
    const int exitCode = thread->RunThreadBody();
    if (thread->m_bAutoDelete) {
        delete thread;
    }
    return static_cast<unsigned>(exitCode);
}

CWinThread* AfxGetThread() {
    return t_currentThread;
}
