#include "afx_codepage.h"

#include <cstdlib>

namespace {

UINT ChooseAndPublish();

UINT g_chosenCodePage = CP_ACP;

UINT ThreadAnsiCodePage() {
    return CP_THREAD_ACP;
}

UINT ChosenCodePage() {
    return g_chosenCodePage;
}

// Replaced by the getter of the chosen code page at the first call.
UINT (*volatile g_getCodePage)() = &ChooseAndPublish;

UINT ChooseAndPublish() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!::GetVersionExA(&version)) {
        version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    }
    const UINT codePage = AfxChooseConversionCodePage(version.dwPlatformId, version.dwMajorVersion,
                                                      ::GetThreadLocale());
    // Racing first calls compute the same value; each publishes it before its getter.
    ::InterlockedExchange(reinterpret_cast<volatile LONG*>(&g_chosenCodePage),
                          static_cast<LONG>(codePage));
    UINT (*getter)() = codePage == CP_THREAD_ACP ? &ThreadAnsiCodePage : &ChosenCodePage;
    ::InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&g_getCodePage),
                                 reinterpret_cast<PVOID>(getter));
    return codePage;
}

} // namespace

UINT AfxGetConversionCodePage() {
    return g_getCodePage();
}

UINT AfxChooseConversionCodePage(DWORD platformId, DWORD majorVersion, LCID threadLocale) {
    if (platformId == VER_PLATFORM_WIN32_NT && majorVersion >= 5) {
        return CP_THREAD_ACP;
    }
    char text[7] = {};
    if (::GetLocaleInfoA(threadLocale, LOCALE_IDEFAULTANSICODEPAGE, text, sizeof(text)) > 0) {
        text[sizeof(text) - 1] = '\0';
        const unsigned long codePage = std::strtoul(text, nullptr, 10);
        if (codePage != 0) {
            return static_cast<UINT>(codePage);
        }
    }
    return ::GetACP();
}
