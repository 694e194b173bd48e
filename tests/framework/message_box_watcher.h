#pragma once
// Finds the message box that code under test shows, reads it and presses one of its buttons, from
// a thread of its own (the box blocks the thread that shows it).

#include <windows.h>

#include <string>
#include <thread>

struct MessageBoxSeen {
    bool found = false;
    std::string text;
    HWND owner = nullptr;
    HICON icon = nullptr;
    bool topmost = false; // system-modal boxes stay on top
};

// Whether the box shows the system icon `iconName` (IDI_HAND, IDI_EXCLAMATION, ...).
bool ShowsSystemIcon(const MessageBoxSeen& seen, LPCSTR iconName);

class MessageBoxWatcher {
public:
    // Starts looking for a dialog box with this caption; presses `button` once it is found.
    explicit MessageBoxWatcher(std::string caption, int button = IDOK);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Waits until the box has been found and pressed, or the search has given up.
    MessageBoxSeen Result();

private:
    void Watch();

    std::string m_caption;
    int m_button;
    MessageBoxSeen m_seen;
    std::thread m_thread;
};
