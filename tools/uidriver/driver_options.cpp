#include "driver_options.h"

#include "text_encoding.h"

#include <cwchar>
#include <stdexcept>

const char* const kDriverUsage =
    "usage: uidriver --exe PATH --log PATH [--args TEXT] [--answer yes|no|none]\n"
    "                [--answer-delay-ms N] [--other-boxes ok|leave] [--poll-ms N] [--max-ms N]\n"
    "                [--second-at MOMENT [--second-args TEXT] [--stop-after-second]]...\n"
    "                [--wine-debug CHANNELS] [--close-during-status ID] [--kill-at MOMENT]\n"
    "                [--message DURING:AFTER_MS:EVERY_MS:MSG:WPARAM:LPARAM]...\n"
    "                [--replace MOMENT|TARGET|SOURCE]...\n"
    "MOMENT is question, MS after the start, or status:ID[+MS] after a status text.\n";

namespace {

[[noreturn]] void Reject(const std::wstring& option, const char* why) {
    throw std::invalid_argument(ToUtf8(option) + ": " + why);
}

long ParseWholeNumber(const std::wstring& option, const std::wstring& text, long lowest,
                      const char* expectation) {
    wchar_t* end = nullptr;
    const long value = std::wcstol(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0' || value < lowest) {
        Reject(option, expectation);
    }
    return value;
}

long ParseMs(const std::wstring& option, const std::wstring& text, long lowest) {
    return ParseWholeNumber(option, text, lowest, "expects a whole number of milliseconds");
}

Moment ParseMoment(const std::wstring& option, const std::wstring& text) {
    Moment moment;
    const std::wstring status = L"status:";
    if (text == L"question") {
        moment.kind = Moment::Kind::Question;
    } else if (text.compare(0, status.size(), status) == 0) {
        const std::wstring rest = text.substr(status.size());
        const size_t plus = rest.find(L'+');
        moment.kind = Moment::Kind::AfterStatus;
        moment.statusId = static_cast<int>(
            ParseWholeNumber(option, rest.substr(0, plus), 1, "expects status:ID or status:ID+MS"));
        moment.ms = plus == std::wstring::npos ? 0 : ParseMs(option, rest.substr(plus + 1), 0);
    } else {
        moment.kind = Moment::Kind::AfterStart;
        moment.ms = ParseMs(option, text, 0);
    }
    return moment;
}

// DURING:AFTER_MS:EVERY_MS:MSG:WPARAM:LPARAM, the last three decimal or 0x hexadecimal.
StatusMessage ParseStatusMessage(const std::wstring& option, const std::wstring& text) {
    std::vector<std::wstring> parts(1);
    for (const wchar_t c : text) {
        if (c == L':') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    if (parts.size() != 6) {
        Reject(option, "expects DURING:AFTER_MS:EVERY_MS:MSG:WPARAM:LPARAM");
    }
    unsigned long values[3] = {};
    for (int i = 0; i < 3; ++i) {
        wchar_t* end = nullptr;
        values[i] = std::wcstoul(parts[3 + i].c_str(), &end, 0);
        if (parts[3 + i].empty() || *end != L'\0') {
            Reject(option, "expects numbers for MSG, WPARAM and LPARAM");
        }
    }
    StatusMessage message;
    message.duringStatus = static_cast<int>(
        ParseWholeNumber(option, parts[0], 1, "expects a string id of the status texts"));
    message.afterMs = ParseMs(option, parts[1], 0);
    message.everyMs = ParseMs(option, parts[2], 0);
    message.message = static_cast<UINT>(values[0]);
    message.wParam = static_cast<WPARAM>(values[1]);
    message.lParam = static_cast<LPARAM>(values[2]);
    return message;
}

// MOMENT|TARGET|SOURCE: no Windows path holds a '|'.
FileReplacement ParseReplacement(const std::wstring& option, const std::wstring& text) {
    const size_t first = text.find(L'|');
    const size_t second = first == std::wstring::npos ? first : text.find(L'|', first + 1);
    if (second == std::wstring::npos || second == first + 1 || second + 1 == text.size()) {
        Reject(option, "expects MOMENT|TARGET|SOURCE");
    }
    return {ParseMoment(option, text.substr(0, first)), text.substr(first + 1, second - first - 1),
            text.substr(second + 1)};
}

} // namespace

DriverOptions ParseDriverOptions(const std::vector<std::wstring>& arguments) {
    DriverOptions options;
    // --second-args and --stop-after-second belong to the --second-at before them.
    const auto lastSecond = [&options](const std::wstring& option) -> SecondInstance& {
        if (options.seconds.empty()) {
            Reject(option, "needs --second-at before it");
        }
        return options.seconds.back();
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& option = arguments[i];
        if (option == L"--stop-after-second") {
            lastSecond(option).stopFirstAfterwards = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            Reject(option, "unknown option or missing value");
        }
        const std::wstring& value = arguments[++i];
        if (option == L"--exe") {
            options.exePath = value;
        } else if (option == L"--log") {
            options.logPath = value;
        } else if (option == L"--args") {
            options.arguments = value;
        } else if (option == L"--answer") {
            if (value == L"yes") {
                options.answer = Answer::Yes;
            } else if (value == L"no") {
                options.answer = Answer::No;
            } else if (value == L"none") {
                options.answer = Answer::None;
            } else {
                Reject(option, "expects yes, no or none");
            }
        } else if (option == L"--answer-delay-ms") {
            options.answerDelayMs = ParseMs(option, value, 0);
        } else if (option == L"--other-boxes") {
            if (value == L"ok") {
                options.otherBoxes = OtherBoxes::PressOk;
            } else if (value == L"leave") {
                options.otherBoxes = OtherBoxes::Leave;
            } else {
                Reject(option, "expects ok or leave");
            }
        } else if (option == L"--poll-ms") {
            options.pollMs = ParseMs(option, value, 1);
        } else if (option == L"--max-ms") {
            options.maxMs = ParseMs(option, value, 1);
        } else if (option == L"--second-at") {
            options.seconds.push_back({ParseMoment(option, value), std::nullopt, false});
        } else if (option == L"--second-args") {
            lastSecond(option).arguments = value;
        } else if (option == L"--kill-at") {
            options.killAt = ParseMoment(option, value);
        } else if (option == L"--replace") {
            options.replacements.push_back(ParseReplacement(option, value));
        } else if (option == L"--message") {
            options.messages.push_back(ParseStatusMessage(option, value));
        } else if (option == L"--wine-debug") {
            if (value.empty()) {
                Reject(option, "expects Wine's debug channels");
            }
            options.wineDebug = value;
        } else if (option == L"--close-during-status") {
            options.closeDuringStatus = static_cast<int>(
                ParseWholeNumber(option, value, 1, "expects a string id of the status texts"));
        } else {
            Reject(option, "unknown option");
        }
    }
    if (options.exePath.empty() || options.logPath.empty()) {
        throw std::invalid_argument("--exe and --log are required");
    }
    return options;
}
