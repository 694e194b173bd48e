#include "message_box_watcher.h"

#include <utility>

namespace {

// The ids that the system's message box gives its text and icon controls.
constexpr int kTextControlId = 0xFFFF;
constexpr int kIconControlId = 0x0440;

constexpr int kAttempts = 400;
constexpr DWORD kPollMilliseconds = 25;

} // namespace

bool ShowsSystemIcon(const MessageBoxSeen& seen, LPCSTR iconName) {
    // System icons are shared: the box shows the very handle LoadIcon gives.
    return seen.icon != nullptr && seen.icon == ::LoadIconA(nullptr, iconName);
}

MessageBoxWatcher::MessageBoxWatcher(std::string caption, int button)
    : m_caption(std::move(caption)), m_button(button), m_thread([this] { Watch(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

MessageBoxSeen MessageBoxWatcher::Result() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return m_seen;
}

void MessageBoxWatcher::Watch() {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const HWND box = ::FindWindowA("#32770", m_caption.c_str());
        const HWND button = box != nullptr ? ::GetDlgItem(box, m_button) : nullptr;
        if (button != nullptr && ::IsWindowVisible(box)) {
            char text[1024] = {};
            ::GetDlgItemTextA(box, kTextControlId, text, sizeof(text));
            m_seen.found = true;
            m_seen.text = text;
            m_seen.owner = ::GetWindow(box, GW_OWNER);
            m_seen.icon = reinterpret_cast<HICON>(
                ::SendDlgItemMessageA(box, kIconControlId, STM_GETICON, 0, 0));
            m_seen.topmost = (::GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            // Posted: the box handles the click on its own thread.
            ::PostMessageA(button, BM_CLICK, 0, 0);
            return;
        }
        ::Sleep(kPollMilliseconds);
    }
}
