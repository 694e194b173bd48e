// The driver's output: one event per line, "<ms>\t<event>\t<key>=<value>...", UTF-8, where ms
// counts from the driver's start. Values escape backslash, tab, CR and LF as \\, \t, \r and \n.
// Every line is written through at once, so a driver killed at a time-out leaves a complete log.
#pragma once

#include "afx_handle.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using EventFields = std::vector<std::pair<std::string, std::string>>;

std::string EscapeLogValue(const std::string& value);

class EventLog {
public:
    explicit EventLog(const std::wstring& path); // throws std::runtime_error
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    std::int64_t ElapsedMs() const;
    void Write(const std::string& event, const EventFields& fields);
    // For an event first seen earlier than it is written (a status text that had to hold).
    void WriteAt(std::int64_t ms, const std::string& event, const EventFields& fields);

private:
    KernelHandle m_file;
    LARGE_INTEGER m_start{};
    LARGE_INTEGER m_frequency{};
};
