#include "event_log.h"

#include <stdexcept>

std::string EscapeLogValue(const std::string& value) {
    std::string escaped;
    escaped.reserve(value.size());
    for (const char c : value) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

EventLog::EventLog(const std::wstring& path)
    : m_file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (!m_file) {
        throw std::runtime_error("cannot create the event log");
    }
    QueryPerformanceFrequency(&m_frequency);
    QueryPerformanceCounter(&m_start);
}

std::int64_t EventLog::ElapsedMs() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (now.QuadPart - m_start.QuadPart) * 1000 / m_frequency.QuadPart;
}

void EventLog::Write(const std::string& event, const EventFields& fields) {
    WriteAt(ElapsedMs(), event, fields);
}

void EventLog::WriteAt(std::int64_t ms, const std::string& event, const EventFields& fields) {
    std::string line = std::to_string(ms) + "\t" + event;
    for (const auto& [key, value] : fields) {
        line += "\t" + key + "=" + EscapeLogValue(value);
    }
    line += "\n";
    DWORD written = 0;
    WriteFile(m_file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
