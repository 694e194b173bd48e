// Multibyte (ANSI) value string.
#pragma once

#include <windows.h>

#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text);
    CString(const char* text, int length);
    explicit CString(const wchar_t* text);

    int GetLength() const { return static_cast<int>(m_text.size()); }
    BOOL IsEmpty() const { return m_text.empty() ? TRUE : FALSE; }
    void Empty() { m_text.clear(); }

    operator const char*() const { return m_text.c_str(); }
    const char* GetString() const { return m_text.c_str(); }

    // Negative arguments count as 0; the count is clipped to the end of the string.
    CString Mid(int first, int count) const;
    CString Mid(int first) const;

    // Upper-cases in place, multibyte-aware in the current code page.
    CString& MakeUpper();

    // Loads string table entry `id` from the resource module; FALSE (string unchanged) when the
    // entry is missing or empty.
    BOOL LoadString(UINT id);

    CString& operator=(const char* text);
    CString& operator+=(const CString& text);
    CString& operator+=(const char* text);
    CString& operator+=(char character);

    friend bool operator==(const CString& left, const CString& right) {
        return left.m_text == right.m_text;
    }
    friend bool operator==(const CString& left, const char* right);
    friend bool operator==(const char* left, const CString& right) { return right == left; }
    friend bool operator!=(const CString& left, const CString& right) { return !(left == right); }
    friend bool operator!=(const CString& left, const char* right) { return !(left == right); }
    friend bool operator!=(const char* left, const CString& right) { return !(right == left); }

private:
    std::string m_text;
};

CString operator+(const CString& left, const CString& right);
