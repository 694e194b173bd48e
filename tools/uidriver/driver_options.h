// What the driver is told on its command line (see tools/e2e/README.md for the runner's side).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

enum class Answer { Yes, No, None };
enum class OtherBoxes { PressOk, Leave };

// A point in the watched run: its question, ms after the driver's start, or ms after a status
// text was first seen on the screen.
struct Moment {
    enum class Kind { Question, AfterStart, AfterStatus };
    Kind kind = Kind::Question;
    long ms = 0;
    int statusId = 0;
};

struct SecondInstance {
    Moment at;
    std::optional<std::wstring> arguments;
    // End the first instance once this one has exited.
    bool stopFirstAfterwards = false;
};

// A message for the first instance's status window: first afterMs after the status text
// duringStatus was first seen, then every everyMs (0: once) while the band still shows it.
struct StatusMessage {
    int duringStatus = 0;
    long afterMs = 0;
    long everyMs = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// At a moment, `target` is replaced by the file `source`, as another process would try it: moved
// over it, or else written into it.
struct FileReplacement {
    Moment at;
    std::wstring target;
    std::wstring source;
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
    // Further starts of the program while the first one runs, in this order.
    std::vector<SecondInstance> seconds;
    // WINEDEBUG for the started programs only (the driver's own stays as it was started).
    std::optional<std::wstring> wineDebug;
    // While the status band shows this string id, a close request (WM_CLOSE) is posted to the
    // first instance's window at every poll.
    std::optional<int> closeDuringStatus;
    std::vector<StatusMessage> messages;
    // TerminateProcess of every instance at this moment, as End task or a power loss would.
    std::optional<Moment> killAt;
    std::vector<FileReplacement> replacements;
};

// Throws std::invalid_argument with a message naming the offending option.
DriverOptions ParseDriverOptions(const std::vector<std::wstring>& arguments);

extern const char* const kDriverUsage;
