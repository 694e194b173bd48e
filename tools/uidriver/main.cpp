// uidriver: watches BIOSUpdate.exe from outside under Wine; see watch_session.h.
#include "driver_options.h"
#include "event_log.h"
#include "watch_session.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::vector<std::wstring> options(arguments + 1, arguments + count);
    LocalFree(arguments);
    DriverOptions parsed;
    try {
        parsed = ParseDriverOptions(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "uidriver: %s\n%s", error.what(), kDriverUsage);
        return 2;
    }
    try {
        EventLog log(parsed.logPath);
        try {
            WatchSession session(parsed, log);
            session.Run();
        } catch (const std::exception& error) {
            log.Write("error", {{"message", error.what()}});
            throw;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "uidriver: %s\n", error.what());
        return 3;
    }
    return 0;
}
