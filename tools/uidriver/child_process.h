// One started instance of the watched program: its process id, and its end.
#pragma once

#include "afx_handle.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

class ChildProcess {
public:
    // Starts "<exe>" followed by a blank and the argument text, if any. Throws std::runtime_error
    // with the Win32 error code when the process cannot be created.
    ChildProcess(const std::wstring& exePath, const std::optional<std::wstring>& arguments);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    DWORD Id() const { return m_id; }
    const std::wstring& CommandLine() const { return m_commandLine; }
    // The exit code once the process has ended.
    std::optional<DWORD> ExitCode() const;
    void Terminate();

private:
    std::wstring m_commandLine;
    KernelHandle m_process;
    DWORD m_id = 0;
};

// The processes that `parentId` started and that are still there, such as the program's flash
// utility.
std::vector<DWORD> ChildProcessIds(DWORD parentId);
