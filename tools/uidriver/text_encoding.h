// Conversions between the UTF-16 text of Win32 and the UTF-8 of the event log.
#pragma once

#include <string>

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
// Converts to the multibyte text of the calling thread's ANSI code page, as the watched program
// converts its string table.
std::string ToThreadAnsi(const std::wstring& text);
