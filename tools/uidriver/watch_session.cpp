#include "watch_session.h"

#include "message_box.h"
#include "text_encoding.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

const wchar_t kQuestionCaption[] = L"BIOS update";

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%lx", value);
    return text;
}

std::string RectText(const RECT& rect) {
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
           std::to_string(rect.right) + "," + std::to_string(rect.bottom);
}

std::string ButtonList(const std::vector<int>& buttons) {
    std::string list;
    for (const int id : buttons) {
        list += (list.empty() ? "" : ",") + ButtonName(id);
    }
    return list;
}

bool Holds(const std::vector<int>& buttons, int id) {
    return std::find(buttons.begin(), buttons.end(), id) != buttons.end();
}

// Text and blank readings must hold for two polls, unknown ones for four, so the instant in which
// the program's one-copy frame update is half on the screen is not reported.
int SightingsNeeded(const BandReading& reading) {
    return reading.kind == BandReading::Kind::Unknown ? 4 : 2;
}

BOOL CALLBACK TakeFirstVisible(HWND hwnd, LPARAM param) {
    if (!IsWindowVisible(hwnd)) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
}

// The first visible top-level window in the z-order, from the top.
HWND TopVisibleWindow() {
    HWND top = nullptr;
    EnumWindows(TakeFirstVisible, reinterpret_cast<LPARAM>(&top));
    return top;
}

} // namespace

WatchSession::WatchSession(const DriverOptions& options, EventLog& log)
    : m_options(options), m_log(log), m_band(options.exePath) {
    m_first.role = "first";
    for (const SecondInstance& second : m_options.seconds) {
        const size_t number = m_seconds.size() + 1;
        m_seconds.emplace_back();
        m_seconds.back().role = number == 1 ? "second" : "second-" + std::to_string(number);
        m_seconds.back().second = &second;
    }
    for (const StatusMessage& message : m_options.messages) {
        m_messages.emplace_back();
        m_messages.back().spec = &message;
    }
}

void WatchSession::LogStart() {
    m_log.Write("driver", {{"screen", std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
                                          std::to_string(GetSystemMetrics(SM_CYSCREEN))},
                           {"lcid", Hex(GetSystemDefaultLCID())},
                           {"acp", std::to_string(GetACP())},
                           {"band_top", std::to_string(m_band.BandTop())},
                           {"poll_ms", std::to_string(m_options.pollMs)},
                           // Wine's trace stamps its lines with this clock.
                           {"tick", std::to_string(GetTickCount())},
                           {"exe", ToUtf8(m_options.exePath)}});
    for (const StatusText& text : m_band.Texts()) {
        m_log.Write("string", {{"id", std::to_string(text.id)},
                               {"lit", std::to_string(text.litPixels)},
                               {"text", ToUtf8(text.text)}});
    }
}

void WatchSession::Launch(Instance& instance, const std::optional<std::wstring>& arguments) {
    const std::string& role = instance.role;
    try {
        instance.process = std::make_unique<ChildProcess>(m_options.exePath, arguments);
    } catch (const std::exception& error) {
        m_log.Write("launch_failed", {{"role", role}, {"error", error.what()}});
        instance.exitLogged = true;
        return;
    }
    m_log.Write("launch", {{"role", role},
                           {"pid", std::to_string(instance.process->Id())},
                           {"command", ToUtf8(instance.process->CommandLine())}});
}

const std::string& WatchSession::RoleOf(DWORD processId) const {
    if (std::find(m_utilityIds.begin(), m_utilityIds.end(), processId) != m_utilityIds.end()) {
        return m_utilityRole;
    }
    for (const Instance& second : m_seconds) {
        if (second.process && second.process->Id() == processId) {
            return second.role;
        }
    }
    return m_first.role;
}

std::vector<WatchSession::Instance*> WatchSession::Instances() {
    std::vector<Instance*> instances{&m_first};
    for (Instance& second : m_seconds) {
        instances.push_back(&second);
    }
    return instances;
}

bool WatchSession::Due(const Moment& moment) const {
    switch (moment.kind) {
    case Moment::Kind::Question:
        return m_questionSeenMs.has_value();
    case Moment::Kind::AfterStart:
        return m_log.ElapsedMs() >= moment.ms;
    case Moment::Kind::AfterStatus: {
        const auto seen = m_statusSeenMs.find(moment.statusId);
        return seen != m_statusSeenMs.end() && m_log.ElapsedMs() >= seen->second + moment.ms;
    }
    }
    return false;
}

bool WatchSession::Running(const Instance& instance) const {
    return instance.process && !instance.exitLogged;
}

void WatchSession::SurveyWindows() {
    std::vector<DWORD> processIds;
    for (const Instance* instance : Instances()) {
        if (instance->process) {
            processIds.push_back(instance->process->Id());
        }
    }
    // A process snapshot costs more than the rest of a poll: the first instance's children (its
    // flash utility) are looked up again only when a process not yet placed owns a window.
    const auto placed = [&](DWORD id) {
        for (const std::vector<DWORD>* known : {&processIds, &m_utilityIds, &m_otherIds}) {
            if (std::find(known->begin(), known->end(), id) != known->end()) {
                return true;
            }
        }
        return false;
    };
    const std::vector<DWORD> owners = TopLevelWindowOwners();
    if (m_first.process && !std::all_of(owners.begin(), owners.end(), placed)) {
        m_utilityIds = ChildProcessIds(m_first.process->Id());
        std::copy_if(owners.begin(), owners.end(), std::back_inserter(m_otherIds),
                     [&](DWORD id) { return !placed(id); });
    }
    processIds.insert(processIds.end(), m_utilityIds.begin(), m_utilityIds.end());
    std::map<HWND, WindowState> current;
    for (WindowState& window : SurveyTopLevelWindows(processIds)) {
        const auto previous = m_windows.find(window.hwnd);
        if (previous == m_windows.end() || !previous->second.SameLookAs(window)) {
            m_log.Write("window", {{"role", RoleOf(window.processId)},
                                   {"hwnd", Hex(reinterpret_cast<ULONG_PTR>(window.hwnd))},
                                   {"class", ToUtf8(window.className)},
                                   {"title", ToUtf8(window.title)},
                                   {"rect", RectText(window.rect)},
                                   {"style", Hex(window.style)},
                                   {"exstyle", Hex(window.exStyle)},
                                   {"visible", window.visible ? "1" : "0"}});
        }
        if (m_boxRoles.count(window.hwnd) == 0) {
            NoticeMessageBox(window);
        }
        current.emplace(window.hwnd, std::move(window));
    }
    for (const auto& [hwnd, window] : m_windows) {
        if (current.count(hwnd) == 0) {
            const std::string handle = Hex(reinterpret_cast<ULONG_PTR>(hwnd));
            m_log.Write("window_gone", {{"role", RoleOf(window.processId)}, {"hwnd", handle}});
            if (m_boxRoles.count(hwnd) != 0) {
                m_log.Write("msgbox_gone", {{"role", m_boxRoles[hwnd]}, {"hwnd", handle}});
                ForgetMessageBox(hwnd);
            }
        }
    }
    m_windows = std::move(current);
}

void WatchSession::NoticeMessageBox(const WindowState& window) {
    const std::optional<MessageBoxContent> box = ReadMessageBox(window.hwnd);
    if (!box) {
        return;
    }
    const std::string& role = RoleOf(window.processId);
    m_boxRoles[window.hwnd] = role;
    m_log.Write("msgbox", {{"role", role},
                           {"hwnd", Hex(reinterpret_cast<ULONG_PTR>(window.hwnd))},
                           {"caption", ToUtf8(box->caption)},
                           {"text", ToUtf8(box->text)},
                           {"buttons", ButtonList(box->buttons)},
                           {"default", box->defaultButton ? ButtonName(box->defaultButton) : ""},
                           {"icon", box->hasIcon ? "1" : "0"}});
    const std::int64_t dueMs = m_log.ElapsedMs() + m_options.answerDelayMs;
    const bool question =
        box->caption == kQuestionCaption && Holds(box->buttons, IDYES) && Holds(box->buttons, IDNO);
    if (question) {
        if (!m_questionSeenMs) {
            m_questionSeenMs = m_log.ElapsedMs();
        }
        if (m_options.answer != Answer::None) {
            const int button = m_options.answer == Answer::Yes ? IDYES : IDNO;
            m_presses.push_back({window.hwnd, button, dueMs, true});
        }
        return;
    }
    if (m_options.otherBoxes == OtherBoxes::Leave) {
        return;
    }
    for (const int button : {IDOK, IDCANCEL, IDNO}) {
        if (Holds(box->buttons, button)) {
            m_presses.push_back({window.hwnd, button, dueMs, false});
            return;
        }
    }
}

// A box closed by someone else needs no press, and its handle may come back as a new box.
void WatchSession::ForgetMessageBox(HWND hwnd) {
    m_boxRoles.erase(hwnd);
    m_presses.erase(std::remove_if(m_presses.begin(), m_presses.end(),
                                   [hwnd](const PendingPress& press) { return press.box == hwnd; }),
                    m_presses.end());
}

void WatchSession::PressDueButtons() {
    const std::int64_t now = m_log.ElapsedMs();
    auto press = m_presses.begin();
    while (press != m_presses.end()) {
        const bool held = press->waitForSecond && QuestionSecondsRunning();
        if (now < press->dueMs || held) {
            ++press;
            continue;
        }
        // Whether the box could be seen and answered at that moment, as a user would need it.
        const bool onTop = TopVisibleWindow() == press->box;
        const bool foreground = GetForegroundWindow() == press->box;
        const bool pressed = PressMessageBoxButton(press->box, press->button);
        m_log.Write("press", {{"role", m_boxRoles[press->box]},
                              {"hwnd", Hex(reinterpret_cast<ULONG_PTR>(press->box))},
                              {"button", ButtonName(press->button)},
                              {"on_top", onTop ? "1" : "0"},
                              {"foreground", foreground ? "1" : "0"},
                              {"ok", pressed ? "1" : "0"}});
        press = m_presses.erase(press);
    }
}

void WatchSession::ReadStatusBand() {
    const std::int64_t now = m_log.ElapsedMs();
    const BandReading reading = m_band.Read();
    if (m_candidateSightings > 0 && reading == m_candidateBand) {
        ++m_candidateSightings;
    } else {
        m_candidateBand = reading;
        m_candidateSinceMs = now;
        m_candidateSightings = 1;
    }
    const bool changed = !m_reportedBand || !(*m_reportedBand == m_candidateBand);
    if (!changed || m_candidateSightings < SightingsNeeded(m_candidateBand)) {
        return;
    }
    m_reportedBand = m_candidateBand;
    if (m_candidateBand.kind == BandReading::Kind::Text) {
        m_statusSeenMs.emplace(m_candidateBand.id, m_candidateSinceMs);
    }
    EventFields fields;
    switch (m_candidateBand.kind) {
    case BandReading::Kind::Blank:
        fields = {{"state", "blank"}};
        break;
    case BandReading::Kind::Unknown:
        fields = {{"state", "unknown"}, {"lit", std::to_string(m_candidateBand.differingPixels)}};
        break;
    case BandReading::Kind::Text: {
        const auto& texts = m_band.Texts();
        const auto text = std::find_if(texts.begin(), texts.end(), [&](const StatusText& t) {
            return t.id == m_candidateBand.id;
        });
        fields = {{"state", "text"},
                  {"id", std::to_string(m_candidateBand.id)},
                  {"text", ToUtf8(text->text)},
                  {"match", m_candidateBand.differingPixels == 0 ? "exact" : "tolerance"},
                  {"differing", std::to_string(m_candidateBand.differingPixels)},
                  {"mismatched", std::to_string(m_candidateBand.mismatchedPixels)}};
        break;
    }
    }
    m_log.WriteAt(m_candidateSinceMs, "status", fields);
}

HWND WatchSession::StatusWindow() const {
    for (const auto& [hwnd, window] : m_windows) {
        if (window.processId == m_first.process->Id() && window.visible &&
            window.className == L"#32770" && m_boxRoles.count(hwnd) == 0) {
            return hwnd;
        }
    }
    return nullptr;
}

bool WatchSession::ShowsStatus(int id) const {
    return m_reportedBand && m_reportedBand->kind == BandReading::Kind::Text &&
           m_reportedBand->id == id;
}

void WatchSession::RequestCloseDuringStatus() {
    const bool due = m_options.closeDuringStatus && Running(m_first) &&
                     ShowsStatus(*m_options.closeDuringStatus);
    const HWND hwnd = due ? StatusWindow() : nullptr;
    if (hwnd != nullptr) {
        const bool posted = PostMessageW(hwnd, WM_CLOSE, 0, 0) != FALSE;
        m_log.Write("close", {{"role", m_first.role},
                              {"hwnd", Hex(reinterpret_cast<ULONG_PTR>(hwnd))},
                              {"ok", posted ? "1" : "0"}});
    }
}

void WatchSession::SendStatusMessages() {
    for (MessageState& state : m_messages) {
        const StatusMessage& spec = *state.spec;
        if (state.done || !Running(m_first) || !ShowsStatus(spec.duringStatus)) {
            continue;
        }
        if (!state.nextDueMs) {
            state.nextDueMs = m_statusSeenMs.at(spec.duringStatus) + spec.afterMs;
        }
        const HWND hwnd = StatusWindow();
        if (m_log.ElapsedMs() < *state.nextDueMs || hwnd == nullptr) {
            continue;
        }
        EventFields fields = {{"role", m_first.role},
                              {"hwnd", Hex(reinterpret_cast<ULONG_PTR>(hwnd))},
                              {"msg", Hex(spec.message)},
                              {"wparam", Hex(spec.wParam)},
                              {"lparam", Hex(static_cast<unsigned long>(spec.lParam))}};
        // A close request is posted, as the system does; the others are answered, so they are
        // sent, with a time-out in case the window's thread is busy.
        bool ok = false;
        if (spec.message == WM_CLOSE) {
            ok = PostMessageW(hwnd, spec.message, spec.wParam, spec.lParam) != FALSE;
            fields.push_back({"how", "posted"});
        } else {
            DWORD_PTR result = 0;
            ok = SendMessageTimeoutW(hwnd, spec.message, spec.wParam, spec.lParam, SMTO_NORMAL,
                                     5000, &result) != 0;
            fields.push_back({"how", "sent"});
            fields.push_back({"result", ok ? Hex(static_cast<unsigned long>(result)) : ""});
        }
        fields.push_back({"ok", ok ? "1" : "0"});
        m_log.Write("message", fields);
        state.done = spec.everyMs == 0;
        state.nextDueMs = std::max(*state.nextDueMs + spec.everyMs, m_log.ElapsedMs());
    }
}

void WatchSession::CollectExits() {
    for (Instance* instance : Instances()) {
        if (!Running(*instance)) {
            continue;
        }
        if (const std::optional<DWORD> code = instance->process->ExitCode()) {
            instance->exitLogged = true;
            m_log.Write("exit", {{"role", instance->role},
                                 {"pid", std::to_string(instance->process->Id())},
                                 {"code", std::to_string(*code)}});
        }
    }
}

bool WatchSession::QuestionSecondsRunning() const {
    for (const Instance& second : m_seconds) {
        if (second.second->at.kind == Moment::Kind::Question && !second.exitLogged) {
            return true;
        }
    }
    return false;
}

void WatchSession::MaybeLaunchSeconds() {
    for (Instance& second : m_seconds) {
        const bool pending = !second.process && !second.exitLogged && !m_stopping;
        if (pending && Due(second.second->at)) {
            Launch(second, second.second->arguments);
        }
    }
}

void WatchSession::ReplaceDueFiles() {
    m_replaced.resize(m_options.replacements.size());
    for (std::size_t i = 0; i < m_options.replacements.size(); ++i) {
        const FileReplacement& replacement = m_options.replacements[i];
        if (m_replaced[i] || !Running(m_first) || !Due(replacement.at)) {
            continue;
        }
        m_replaced[i] = true;
        // Swapped in whole first, as an attacker would; else written over in place.
        std::string how = "moved";
        bool ok = MoveFileExW(replacement.source.c_str(), replacement.target.c_str(),
                              MOVEFILE_REPLACE_EXISTING) != FALSE;
        const DWORD moveError = ok ? 0 : GetLastError();
        if (!ok) {
            how = "written";
            ok = CopyFileW(replacement.source.c_str(), replacement.target.c_str(), FALSE) != FALSE;
        }
        m_log.Write("replace", {{"target", ToUtf8(replacement.target)},
                                {"how", ok ? how : ""},
                                {"move_error", std::to_string(moveError)},
                                {"error", ok ? "0" : std::to_string(GetLastError())},
                                {"ok", ok ? "1" : "0"}});
    }
}

void WatchSession::TerminateAll(const std::string& reason) {
    // Nothing is started once the run is being ended.
    m_stopping = true;
    for (Instance* instance : Instances()) {
        if (Running(*instance)) {
            m_log.Write("terminate", {{"role", instance->role}, {"reason", reason}});
            instance->process->Terminate();
        }
    }
    CollectExits();
}

void WatchSession::Run() {
    LogStart();
    // The started programs inherit it; the driver's own tracing was fixed when it started.
    if (m_options.wineDebug) {
        SetEnvironmentVariableW(L"WINEDEBUG", m_options.wineDebug->c_str());
    }
    Launch(m_first, m_options.arguments);
    const auto anyRunning = [this] {
        const std::vector<Instance*> instances = Instances();
        return std::any_of(instances.begin(), instances.end(),
                           [this](const Instance* instance) { return Running(*instance); });
    };
    while (anyRunning()) {
        MaybeLaunchSeconds();
        SurveyWindows();
        PressDueButtons();
        ReadStatusBand();
        RequestCloseDuringStatus();
        SendStatusMessages();
        ReplaceDueFiles();
        CollectExits();
        for (const Instance& second : m_seconds) {
            if (second.second->stopFirstAfterwards && second.exitLogged && Running(m_first)) {
                TerminateAll("second instance ended");
            }
        }
        if (m_options.killAt && Running(m_first) && Due(*m_options.killAt)) {
            TerminateAll("kill-at");
        }
        if (m_log.ElapsedMs() >= m_options.maxMs) {
            TerminateAll("max-ms reached");
        }
        Sleep(static_cast<DWORD>(m_options.pollMs));
    }
    SurveyWindows();
    m_log.Write("end", {});
}
