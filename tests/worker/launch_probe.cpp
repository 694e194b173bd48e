// A program that only tells that it ran: it writes its command line, its current folder and
// whether the version stamp was in the registry at that moment to "C:\launch_probe_ran.txt".
// Planted as "C:\Program.exe" it shows a launch that went astray; put in place of the flash
// utility it shows when the utility ran relative to the stamp.
#include "afx_handle.h"

#include <string>

int main() {
    RegistryKey stampKey;
    const bool stamped =
        ::RegOpenKeyExA(HKEY_USERS, ".DEFAULT\\Software\\Tamrel\\BIOSUPDATE\\Parameters", 0,
                        KEY_QUERY_VALUE, stampKey.Receive()) == ERROR_SUCCESS &&
        ::RegQueryValueExA(stampKey.Get(), "Version", nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS;
    char folder[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, folder);
    const std::string report = std::string("command-line=") + ::GetCommandLineA() +
                               "\r\ncurrent-folder=" + folder +
                               "\r\nstamp=" + (stamped ? "present" : "absent") + "\r\n";

    const KernelHandle marker(::CreateFileA("C:\\launch_probe_ran.txt", GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!marker) {
        return 1;
    }
    DWORD written = 0;
    ::WriteFile(marker.Get(), report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
    return 0;
}
