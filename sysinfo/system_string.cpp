#include "sysinfo/system_string.h"

SystemString MultiByteToSystemString(const char* text) {
    const int byteCount = ::lstrlenA(text);
    const int unitCount = ::MultiByteToWideChar(CP_THREAD_ACP, 0, text, byteCount, nullptr, 0);
    SystemString converted(::SysAllocStringLen(nullptr, static_cast<UINT>(unitCount)));
    if (!converted) {
        AfxThrowMemoryException();
    }
    ::MultiByteToWideChar(CP_THREAD_ACP, 0, text, byteCount, converted.Get(), unitCount);
    return converted;
}
