#include "app/start_checks.h"

#include <cstdint>

namespace {

bool IsScanfSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<long> ReadCommandLineNumber(const char* commandLine) {
    if (commandLine == nullptr) {
        return std::nullopt;
    }
    const char* cursor = commandLine;
    while (IsScanfSpace(*cursor)) {
        ++cursor;
    }
    bool negative = false;
    if (*cursor == '+' || *cursor == '-') {
        negative = *cursor == '-';
        ++cursor;
    }
    if (!IsDigit(*cursor)) {
        return std::nullopt;
    }
    constexpr std::int64_t kLimit = static_cast<std::int64_t>(INT32_MAX) + 1;
    std::int64_t magnitude = 0;
    for (; IsDigit(*cursor); ++cursor) {
        if (magnitude < kLimit) {
            magnitude = magnitude * 10 + (*cursor - '0');
        }
    }
    if (negative) {
        return static_cast<long>(magnitude >= kLimit ? INT32_MIN : -magnitude);
    }
    return static_cast<long>(magnitude >= kLimit ? INT32_MAX : magnitude);
}

bool IsCleanUpRequest(const char* commandLine) {
    const std::optional<long> number = ReadCommandLineNumber(commandLine);
    return number.has_value() && *number == 1;
}

PowerVerdict JudgePowerStatus(bool statusKnown, unsigned char acLineStatus,
                              unsigned char batteryLifePercent) {
    constexpr unsigned char kOffLine = 0;
    constexpr unsigned char kLowestCharge = 20;
    if (!statusKnown || acLineStatus == kOffLine) {
        return PowerVerdict::NoMainsPower;
    }
    if (batteryLifePercent < kLowestCharge) {
        return PowerVerdict::LowBattery;
    }
    return PowerVerdict::Proceed;
}
