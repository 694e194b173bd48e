// The process entry of a program built on the framework.
#include "afx_app.h"

namespace {

// A kernel32 function that older systems lack, or null there.
template <typename Function> Function* KernelFunction(const char* name) {
    return reinterpret_cast<Function*>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), name)));
}

// The program may run elevated from a download folder, where anyone can put a DLL: every DLL
// loaded from here on, also by the system on its behalf (uxtheme.dll for the first window), comes
// from the system folder alone, never from the program's folder or the current one. XP before
// SP1 lacks SetDllDirectoryA; XP, and Vista and 7 without KB2533623, lack
// SetDefaultDllDirectories: there the program's folder stays searched.
void RestrictDllSearch() {
    if (auto* setDefault = KernelFunction<BOOL WINAPI(DWORD)>("SetDefaultDllDirectories")) {
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    if (auto* setDirectory = KernelFunction<BOOL WINAPI(const char*)>("SetDllDirectoryA")) {
        setDirectory("");
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // First: before any window, COM or shell call. The runtime's start-up and the global
    // constructors before it load no DLL.
    RestrictDllSearch();
    return AfxWinMain(instance, commandLine);
}
