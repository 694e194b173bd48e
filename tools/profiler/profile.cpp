#include "profile.h"

#include "afx.h"
#include "payload/work_folder.h"
#include "sysinfo/com_security.h"
#include "ui/update_dlg.h"

#include <cstdio>
#include <string>
#include <utility>

namespace {

// `text`, multibyte in `codePage`, as UTF-8. The system maps bytes the code page does not define
// to a default character, so the result is UTF-8 whatever the bytes were.
std::string Utf8(const char* text, UINT codePage) {
    const int length = ::lstrlenA(text);
    const int units = ::MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
    if (units <= 0) {
        return std::string();
    }
    std::wstring wide(static_cast<size_t>(units), L'\0');
    ::MultiByteToWideChar(codePage, 0, text, length, &wide[0], units);
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::string();
    }
    std::string utf8(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

// A JSON string of UTF-8 text: quotation marks, backslashes and control characters escaped.
std::string JsonString(const std::string& utf8) {
    std::string json = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + '"';
}

std::string Number(unsigned long value) {
    return std::to_string(value);
}

// The status window's own query, on a window object that is never created.
std::string BiosVersion() {
    CUpdateDlg dialog;
    dialog.ReadBiosVersion();
    // Held as the program holds it: upper-cased, in its conversion code page.
    return JsonString(Utf8(dialog.m_strBiosVersion, AfxGetConversionCodePage()));
}

std::string PowerStatus() {
    SYSTEM_POWER_STATUS power{};
    if (!::GetSystemPowerStatus(&power)) {
        return "null";
    }
    return "{\"ac_line_status\": " + Number(power.ACLineStatus) +
           ", \"battery_flag\": " + Number(power.BatteryFlag) +
           ", \"battery_life_percent\": " + Number(power.BatteryLifePercent) + "}";
}

std::string ProgramFiles() {
    char folder[MAX_PATH];
    if (!payload::GetProgramFilesPath(folder)) {
        return "null";
    }
    // The shell's multibyte answer is in the ANSI code page.
    return JsonString(Utf8(folder, CP_ACP));
}

std::string ScreenSize() {
    const SIZE screen = CUpdateDlg::ScreenSize();
    return "{\"width\": " + Number(static_cast<unsigned long>(screen.cx)) +
           ", \"height\": " + Number(static_cast<unsigned long>(screen.cy)) + "}";
}

std::string WindowsVersion() {
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
        return "null";
    }
    return "{\"major\": " + Number(version.dwMajorVersion) +
           ", \"minor\": " + Number(version.dwMinorVersion) +
           ", \"build\": " + Number(version.dwBuildNumber) +
           ", \"platform\": " + Number(version.dwPlatformId) +
           ", \"service_pack\": " + Number(version.wServicePackMajor) + "}";
}

} // namespace

std::string ReadProfile() {
    std::string bios;
    {
        // As the program prepares its WMI query; the apartment outlives the query's objects.
        const CComApartment apartment;
        InitializeComSecurity();
        bios = BiosVersion();
    }
    const std::pair<const char*, std::string> fields[] = {
        {"format", Number(kProfileFormat)},
        {"bios_version", bios},
        {"power", PowerStatus()},
        {"system_lcid", Number(::GetSystemDefaultLCID())},
        {"ansi_code_page", Number(::GetACP())},
        {"program_files", ProgramFiles()},
        {"screen", ScreenSize()},
        {"windows", WindowsVersion()}};
    std::string json = "{";
    for (const auto& [name, value] : fields) {
        json += std::string(json.size() > 1 ? ",\n  \"" : "\n  \"") + name + "\": " + value;
    }
    return json + "\n}\n";
}
