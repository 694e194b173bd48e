#include "event_log.h"

namespace worker_test {

namespace {

// The logged thread appends while the test thread waits for it; the lock keeps a late event of a
// thread that was not waited for from racing the reader.
struct EventLog {
    CCriticalSection lock;
    DWORD threadId = 0;
    const CUpdateDlg* dialog = nullptr;
    std::vector<std::string> events;
    ProcessStart lastStart;
};

EventLog& Log() {
    static EventLog log;
    return log;
}

} // namespace

void StartEventLog(DWORD threadId, const CUpdateDlg& dialog) {
    EventLog& log = Log();
    const CCriticalSectionLock guard(log.lock);
    log.threadId = threadId;
    log.dialog = &dialog;
    log.events.clear();
    log.lastStart = ProcessStart{};
}

std::vector<std::string> StopEventLog() {
    EventLog& log = Log();
    const CCriticalSectionLock guard(log.lock);
    log.threadId = 0;
    log.dialog = nullptr;
    return log.events;
}

bool LogEvent(const std::string& event) {
    EventLog& log = Log();
    const CCriticalSectionLock guard(log.lock);
    if (log.threadId == 0 || log.threadId != ::GetCurrentThreadId()) {
        return false;
    }
    log.events.push_back(event);
    return true;
}

const CUpdateDlg* LoggedDialog() {
    EventLog& log = Log();
    const CCriticalSectionLock guard(log.lock);
    return log.dialog;
}

void RecordProcessStart(const ProcessStart& start) {
    EventLog& log = Log();
    const CCriticalSectionLock guard(log.lock);
    log.lastStart = start;
}

ProcessStart LastProcessStart() {
    EventLog& log = Log();
    const CCriticalSectionLock guard(log.lock);
    return log.lastStart;
}

} // namespace worker_test
