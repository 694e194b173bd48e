#include "child_process.h"

#include <tlhelp32.h>

#include <stdexcept>
#include <vector>

ChildProcess::ChildProcess(const std::wstring& exePath,
                           const std::optional<std::wstring>& arguments)
    : m_commandLine(L"\"" + exePath + L"\"" + (arguments ? L" " + *arguments : L"")) {
    std::vector<wchar_t> mutableCommandLine(m_commandLine.begin(), m_commandLine.end());
    mutableCommandLine.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exePath.c_str(), mutableCommandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
        throw std::runtime_error("CreateProcess failed with error " +
                                 std::to_string(GetLastError()));
    }
    const KernelHandle thread(process.hThread);
    m_process.Reset(process.hProcess);
    m_id = process.dwProcessId;
}

std::optional<DWORD> ChildProcess::ExitCode() const {
    if (WaitForSingleObject(m_process.Get(), 0) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(m_process.Get(), &code);
    return code;
}

void ChildProcess::Terminate() {
    TerminateProcess(m_process.Get(), 1);
    WaitForSingleObject(m_process.Get(), 5000);
}

std::vector<DWORD> ChildProcessIds(DWORD parentId) {
    std::vector<DWORD> children;
    const KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ParentProcessID == parentId && entry.th32ProcessID != parentId) {
            children.push_back(entry.th32ProcessID);
        }
    }
    return children;
}
