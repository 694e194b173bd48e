#include "afx_string.h"

#include <mbstring.h>

#include <algorithm>
#include <cwchar>

#include "afx_app.h"
#include "afx_codepage.h"
#include "afx_string_table.h"

namespace {

// `length` UTF-16 units in the conversion code page; empty when the conversion fails.
std::string Narrow(const wchar_t* text, int length) {
    if (length <= 0) {
        return std::string();
    }
    const UINT codePage = AfxGetConversionCodePage();
    const int size = ::WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return std::string();
    }
    std::string narrow(static_cast<size_t>(size), '\0');
    const int written =
        ::WideCharToMultiByte(codePage, 0, text, length, &narrow[0], size, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(std::max(written, 0)));
    return narrow;
}

} // namespace

CString::CString(const char* text) : m_text(text != nullptr ? text : "") {}

CString::CString(const char* text, int length) {
    if (text != nullptr && length > 0) {
        m_text.assign(text, static_cast<size_t>(length));
    }
}

CString::CString(const wchar_t* text) {
    if (text != nullptr) {
        m_text = Narrow(text, static_cast<int>(std::wcslen(text)));
    }
}

CString CString::Mid(int first, int count) const {
    const int length = GetLength();
    first = std::max(first, 0);
    count = std::max(count, 0);
    if (first >= length) {
        return CString();
    }
    count = std::min(count, length - first);
    return CString(m_text.data() + first, count);
}

CString CString::Mid(int first) const {
    return Mid(first, GetLength());
}

CString& CString::MakeUpper() {
    if (!m_text.empty()) {
        ::_mbsupr(reinterpret_cast<unsigned char*>(&m_text[0]));
    }
    return *this;
}

BOOL CString::LoadString(UINT id) {
    const std::wstring_view entry = FindStringTableEntry(AfxGetResourceHandle(), id);
    std::string text = Narrow(entry.data(), static_cast<int>(entry.size()));
    if (text.empty()) {
        return FALSE;
    }
    m_text = std::move(text);
    return TRUE;
}

CString& CString::operator=(const char* text) {
    m_text = text != nullptr ? text : "";
    return *this;
}

CString& CString::operator+=(const CString& text) {
    m_text += text.m_text;
    return *this;
}

CString& CString::operator+=(const char* text) {
    if (text != nullptr) {
        m_text += text;
    }
    return *this;
}

CString& CString::operator+=(char character) {
    m_text += character;
    return *this;
}

bool operator==(const CString& left, const char* right) {
    return left.m_text == (right != nullptr ? right : "");
}

CString operator+(const CString& left, const CString& right) {
    CString joined(left);
    joined += right;
    return joined;
}
