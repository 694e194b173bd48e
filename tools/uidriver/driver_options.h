// What the driver is told on its command line (see tools/e2e/README.md for the runner's side).
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class Answer { Yes, No, None };
enum class OtherBoxes { PressOk, Leave };

struct SecondInstance {
    // When the first instance's question appears, or this many ms after the driver's start.
    std::optional<long> atMs;
    std::optional<std::wstring> arguments;
    // End the first instance once the second one has exited.
    bool stopFirstAfterwards = false;
};

struct DriverOptions {
    std::wstring exePath;
    std::wstring logPath;
    std::optional<std::wstring> arguments; // absent: no argument at all
    Answer answer = Answer::Yes;
    long answerDelayMs = 250;
    OtherBoxes otherBoxes = OtherBoxes::PressOk;
    long pollMs = 30;
    long maxMs = 600000;
    std::optional<SecondInstance> second;
    // WINEDEBUG for the started programs only (the driver's own stays as it was started).
    std::optional<std::wstring> wineDebug;
    // While the status band shows this string id, a close request (WM_CLOSE) is posted to the
    // first instance's window at every poll.
    std::optional<int> closeDuringStatus;
};

// Throws std::invalid_argument with a message naming the offending option.
DriverOptions ParseDriverOptions(const std::vector<std::wstring>& arguments);

extern const char* const kDriverUsage;
