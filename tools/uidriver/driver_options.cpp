#include "driver_options.h"

#include "text_encoding.h"

#include <cwchar>
#include <stdexcept>

const char* const kDriverUsage =
    "usage: uidriver --exe PATH --log PATH [--args TEXT] [--answer yes|no|none]\n"
    "                [--answer-delay-ms N] [--other-boxes ok|leave] [--poll-ms N] [--max-ms N]\n"
    "                [--second-at question|MS [--second-args TEXT] [--stop-after-second]]\n"
    "                [--wine-debug CHANNELS] [--close-during-status ID]\n";

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

} // namespace

DriverOptions ParseDriverOptions(const std::vector<std::wstring>& arguments) {
    DriverOptions options;
    std::optional<std::wstring> secondAt;
    std::optional<std::wstring> secondArguments;
    bool stopAfterSecond = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& option = arguments[i];
        if (option == L"--stop-after-second") {
            stopAfterSecond = true;
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
            secondAt = value;
        } else if (option == L"--second-args") {
            secondArguments = value;
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
    if (secondAt) {
        SecondInstance second;
        if (*secondAt != L"question") {
            second.atMs = ParseMs(L"--second-at", *secondAt, 0);
        }
        second.arguments = secondArguments;
        second.stopFirstAfterwards = stopAfterSecond;
        options.second = second;
    } else if (secondArguments || stopAfterSecond) {
        throw std::invalid_argument("--second-args and --stop-after-second need --second-at");
    }
    return options;
}
