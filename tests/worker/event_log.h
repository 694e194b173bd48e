// What the worker thread does that can be seen from outside, in the order it does it: its pauses
// (recorded_pause.cpp) and its calls into Windows that touch the window, the registry and the
// flash utility (call_spies.cpp, which pass every call on to Windows unchanged).
#ifndef BIOSUPDATE_TESTS_WORKER_EVENT_LOG_H
#define BIOSUPDATE_TESTS_WORKER_EVENT_LOG_H

#include "ui/update_dlg.h"

#include <string>
#include <vector>

namespace worker_test {

// The events of the worker's ordinary steps, as they appear in the log. A status text shows up as
// the window's text when the window was invalidated: show "<text>".
namespace events {
const std::string kLoading = "show \"status loading\"";
const std::string kVerifying = "show \"status verifying\"";
const std::string kCannotUpdate = "show \"status cannot update\"";
const std::string kImageOlder = "show \"status image older\"";
const std::string kSameVersion = "show \"status same version\"";
const std::string kChecking = "show \"status checking\"";
const std::string kUpdating = "show \"status updating\"";
const std::string kStamp = "set value Version type 1 bytes 15";
const std::string kExitTimer = "timer 3935 3000";
const std::string kFinish = "post 2054 0 0";
const std::string kStartUtility = "start utility";
} // namespace events

// Starts logging the events of thread `threadId`, which reports to `dialog`.
void StartEventLog(DWORD threadId, const CUpdateDlg& dialog);
// Ends the log and returns its events.
std::vector<std::string> StopEventLog();

// Adds `event` when the calling thread is the logged one; false otherwise.
bool LogEvent(const std::string& event);
// The dialog of the log; null while no log runs.
const CUpdateDlg* LoggedDialog();

// The parameters of the last process start the logged thread made.
struct ProcessStart {
    std::string applicationName; // "<null>" when none was given
    std::string commandLine;
    bool securityAttributesNull = false;
    BOOL inheritHandles = TRUE;
    DWORD creationFlags = 0;
    bool environmentNull = false;
    std::string currentFolder;
    DWORD startupInfoSize = 0;
    bool startupInfoOtherwiseZero = false;
};
void RecordProcessStart(const ProcessStart& start);
ProcessStart LastProcessStart();

// Installs the call spies on the first call; false when one of the calls is not imported.
bool InstallCallSpies();

} // namespace worker_test

#endif
