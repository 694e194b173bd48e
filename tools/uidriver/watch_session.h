// One watched run: starts the program (and, if asked, further instances), then polls its windows,
// message boxes and status band until every instance has ended, logging what it sees; it can send
// the status window messages and kill the program at a chosen moment.
#pragma once

#include "child_process.h"
#include "driver_options.h"
#include "event_log.h"
#include "status_band.h"
#include "window_survey.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

class WatchSession {
public:
    WatchSession(const DriverOptions& options, EventLog& log);
    void Run();

private:
    struct Instance {
        std::string role;
        std::unique_ptr<ChildProcess> process;
        bool exitLogged = false;
        const SecondInstance* second = nullptr;
    };
    struct MessageState {
        const StatusMessage* spec = nullptr;
        std::optional<std::int64_t> nextDueMs;
        bool done = false;
    };
    struct PendingPress {
        HWND box = nullptr;
        int button = 0;
        std::int64_t dueMs = 0;
        bool waitForSecond = false;
    };

    void LogStart();
    void Launch(Instance& instance, const std::optional<std::wstring>& arguments);
    const std::string& RoleOf(DWORD processId) const;
    std::vector<Instance*> Instances();
    bool Due(const Moment& moment) const;
    HWND StatusWindow() const;
    bool ShowsStatus(int id) const;
    void SurveyWindows();
    void NoticeMessageBox(const WindowState& window);
    void ForgetMessageBox(HWND hwnd);
    void PressDueButtons();
    void ReadStatusBand();
    void RequestCloseDuringStatus();
    void SendStatusMessages();
    void ReplaceDueFiles();
    void CollectExits();
    void MaybeLaunchSeconds();
    bool QuestionSecondsRunning() const;
    bool Running(const Instance& instance) const;
    void TerminateAll(const std::string& reason);

    const DriverOptions& m_options;
    EventLog& m_log;
    StatusBand m_band;
    Instance m_first;
    std::deque<Instance> m_seconds; // stable addresses: the pointers of Instances() stay valid
    std::vector<MessageState> m_messages;
    std::map<HWND, WindowState> m_windows;
    std::map<HWND, std::string> m_boxRoles;
    std::vector<PendingPress> m_presses;
    // The processes the first instance started (its flash utility), as last looked up, and the
    // owners of windows that are neither it nor those.
    std::vector<DWORD> m_utilityIds;
    std::vector<DWORD> m_otherIds;
    const std::string m_utilityRole = "utility";
    std::vector<bool> m_replaced; // one per replacement of the options

    std::optional<std::int64_t> m_questionSeenMs;
    std::map<int, std::int64_t> m_statusSeenMs; // first sighting of each status text
    bool m_stopping = false;

    std::optional<BandReading> m_reportedBand;
    BandReading m_candidateBand;
    std::int64_t m_candidateSinceMs = 0;
    int m_candidateSightings = 0;
};
