// The application object: the start-up checks, then the status window, and the end of the process.
#pragma once

#include "afx.h"

class CUpdateApp : public CWinApp {
public:
    CUpdateApp();

    BOOL InitInstance() override;

    // After the framework has reported an exception that abandoned a handler of the status
    // window, the run still ends in order: nothing else would post the window's finishing
    // message, and the window refuses to be closed.
    void ProcessWndProcException(const CException& error, const MSG* message) override;

    int CleanUpWorkFolder();

    DECLARE_MESSAGE_MAP()

private:
    void RefusePower(UINT messageId);
};
