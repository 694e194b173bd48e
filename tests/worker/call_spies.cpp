// Spies on the worker's calls into Windows: each logs what it was asked (for the logged thread
// only) and passes the call on to the real function unchanged, so the window, the registry and
// the flash utility see exactly what they would without it.
#include "event_log.h"

#include "tests/sysinfo/import_patch.h"

#include <cstring>
#include <memory>

namespace worker_test {

namespace {

template <typename Function>
void Resolve(Function*& real, const char* moduleName, const char* name) {
    real = reinterpret_cast<Function*>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleA(moduleName), name)));
}

decltype(&::InvalidateRect) g_realInvalidateRect = nullptr;
decltype(&::SetTimer) g_realSetTimer = nullptr;
decltype(&::PostMessageA) g_realPostMessageA = nullptr;
decltype(&::RegSetValueExA) g_realRegSetValueExA = nullptr;
decltype(&::CreateProcessA) g_realCreateProcessA = nullptr;

bool IsLoggedWindow(HWND hwnd) {
    const CUpdateDlg* dialog = LoggedDialog();
    return dialog != nullptr && dialog->m_hWnd == hwnd;
}

std::string Target(HWND hwnd) {
    return IsLoggedWindow(hwnd) ? "" : " to another window";
}

BOOL WINAPI SpyInvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    const CUpdateDlg* dialog = LoggedDialog();
    if (dialog != nullptr && hwnd == dialog->m_hWnd && rect == nullptr && erase == FALSE) {
        LogEvent("show \"" + std::string(dialog->GetStatus().GetString()) + "\"");
    } else {
        LogEvent("invalidate with other arguments" + Target(hwnd));
    }
    return g_realInvalidateRect(hwnd, rect, erase);
}

UINT_PTR WINAPI SpySetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
    LogEvent("timer " + std::to_string(id) + " " + std::to_string(elapse) +
             (procedure != nullptr ? " with a procedure" : "") + Target(hwnd));
    return g_realSetTimer(hwnd, id, elapse, procedure);
}

BOOL WINAPI SpyPostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LogEvent("post " + std::to_string(message) + " " + std::to_string(wParam) + " " +
             std::to_string(lParam) + Target(hwnd));
    return g_realPostMessageA(hwnd, message, wParam, lParam);
}

LONG WINAPI SpyRegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD size) {
    LogEvent(std::string("set value ") + (name != nullptr ? name : "<default>") + " type " +
             std::to_string(type) + " bytes " + std::to_string(size));
    return g_realRegSetValueExA(key, name, reserved, type, data, size);
}

bool IsZeroAfterSize(const STARTUPINFOA* startupInfo) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(startupInfo);
    for (std::size_t i = sizeof startupInfo->cb; i < sizeof *startupInfo; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

BOOL WINAPI SpyCreateProcessA(const char* applicationName, char* commandLine,
                              SECURITY_ATTRIBUTES* processAttributes,
                              SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles,
                              DWORD creationFlags, void* environment, const char* currentFolder,
                              STARTUPINFOA* startupInfo, PROCESS_INFORMATION* processInfo) {
    if (LogEvent("start utility")) {
        ProcessStart start;
        start.applicationName = applicationName != nullptr ? applicationName : "<null>";
        start.commandLine = commandLine != nullptr ? commandLine : "<null>";
        start.securityAttributesNull = processAttributes == nullptr && threadAttributes == nullptr;
        start.inheritHandles = inheritHandles;
        start.creationFlags = creationFlags;
        start.environmentNull = environment == nullptr;
        start.currentFolder = currentFolder != nullptr ? currentFolder : "<null>";
        if (startupInfo != nullptr) {
            start.startupInfoSize = startupInfo->cb;
            start.startupInfoOtherwiseZero = IsZeroAfterSize(startupInfo);
        }
        RecordProcessStart(start);
    }
    return g_realCreateProcessA(applicationName, commandLine, processAttributes, threadAttributes,
                                inheritHandles, creationFlags, environment, currentFolder,
                                startupInfo, processInfo);
}

} // namespace

bool InstallCallSpies() {
    using Patches = std::vector<std::unique_ptr<ScopedImportPatch>>;
    static const Patches patches = [] {
        Resolve(g_realInvalidateRect, "user32.dll", "InvalidateRect");
        Resolve(g_realSetTimer, "user32.dll", "SetTimer");
        Resolve(g_realPostMessageA, "user32.dll", "PostMessageA");
        Resolve(g_realRegSetValueExA, "advapi32.dll", "RegSetValueExA");
        Resolve(g_realCreateProcessA, "kernel32.dll", "CreateProcessA");
        Patches list;
        list.push_back(std::make_unique<ScopedImportPatch>("user32.dll", "InvalidateRect",
                                                           &SpyInvalidateRect));
        list.push_back(std::make_unique<ScopedImportPatch>("user32.dll", "SetTimer", &SpySetTimer));
        list.push_back(
            std::make_unique<ScopedImportPatch>("user32.dll", "PostMessageA", &SpyPostMessageA));
        list.push_back(std::make_unique<ScopedImportPatch>("advapi32.dll", "RegSetValueExA",
                                                           &SpyRegSetValueExA));
        list.push_back(std::make_unique<ScopedImportPatch>("kernel32.dll", "CreateProcessA",
                                                           &SpyCreateProcessA));
        return list;
    }();
    for (const auto& patch : patches) {
        if (!patch->IsApplied()) {
            return false;
        }
    }
    return true;
}

} // namespace worker_test
