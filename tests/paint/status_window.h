// The real status window, created from its template with the program's resources and driven only
// by what the paint reads: the progress counter and the status text.
#ifndef BIOSUPDATE_TESTS_PAINT_STATUS_WINDOW_H
#define BIOSUPDATE_TESTS_PAINT_STATUS_WINDOW_H

#include "pixels.h"
#include "ui/update_dlg.h"

#include <string>

namespace painttest {

class StatusWindow {
public:
    // Topmost and as large as the screen, as during a run; nothing of the run is started.
    StatusWindow();
    ~StatusWindow();
    StatusWindow(const StatusWindow&) = delete;
    StatusWindow& operator=(const StatusWindow&) = delete;

    HWND Handle() const { return m_window; }
    CUpdateDlg& Dialog() { return m_dialog; }

    // Sets what the paint reads, invalidates the whole window as the animation timer does
    // (erasing or not) and lets it paint before returning.
    void Show(int progress, const std::string& status, bool erase = false);

    Image Capture() const { return CaptureClientArea(m_window); }

private:
    CUpdateDlg m_dialog;
    HWND m_window = nullptr;
};

// Handles what is queued for this thread's windows, up to a bound; returns how many messages.
int PumpMessages();

} // namespace painttest

#endif
