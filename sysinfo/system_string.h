// Owner of one BSTR, the string type that COM calls take.
#ifndef BIOSUPDATE_SYSINFO_SYSTEM_STRING_H
#define BIOSUPDATE_SYSINFO_SYSTEM_STRING_H

#include <windows.h>
#include <oleauto.h>

#include <utility>

class SystemString {
public:
    // Takes over `text`, which may be null (a failed allocation).
    explicit SystemString(BSTR text) : m_text(text) {}
    ~SystemString() { ::SysFreeString(m_text); }

    SystemString(const SystemString&) = delete;
    SystemString& operator=(const SystemString&) = delete;
    SystemString(SystemString&& other) noexcept : m_text(std::exchange(other.m_text, nullptr)) {}
    SystemString& operator=(SystemString&&) = delete;

    BSTR Get() const { return m_text; }
    explicit operator bool() const { return m_text != nullptr; }

private:
    BSTR m_text;
};

// `text`, multibyte in the calling thread's ANSI code page, as a system string of exactly its
// UTF-16 length. Throws CMemoryException when the string cannot be allocated.
SystemString MultiByteToSystemString(const char* text);

#endif
