// The one application object and the process-wide framework state.
#pragma once

#include <windows.h>

#include "afx_exception.h"
#include "afx_string.h"
#include "afx_thread.h"
#include "afx_wnd.h"

class CWinApp : public CWinThread {
public:
    // Registers the application object; without a name the executable's file name (without its
    // extension) becomes the application name at entry.
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;

    BOOL InitInstance() override;
    // Stores the key and makes the profile name the application name; writes nothing.
    void SetRegistryKey(const char* key);
    // Help files are not shipped: the help command does nothing.
    void OnHelp();

    const char* m_pszAppName = nullptr;
    HINSTANCE m_hInstance = nullptr;
    char* m_lpCmdLine = nullptr;
    CWnd* m_pMainWnd = nullptr;
    const char* m_pszRegistryKey = nullptr;
    const char* m_pszProfileName = nullptr;

private:
    friend int AfxWinMain(HINSTANCE instance, char* commandLine);
    CString m_strAppName;
    CString m_strRegistryKey;
};

// Null when the process has no application object (test programs).
CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
// The module the framework loads strings and templates from.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE resources);
const char* AfxGetAppName();
// Control containment needs no set-up here; kept for the start-up sequence.
BOOL AfxEnableControlContainer(void* occManager = nullptr);

// Hands an exception that reached a window or thread procedure to the thread object running on
// this thread (the application's when none is), or reports it directly when there is neither.
void AfxProcessEscapedException(const CException& e, const MSG* msg);

// The process entry: InitInstance, then Run, or ExitInstance when InitInstance fails.
int AfxWinMain(HINSTANCE instance, char* commandLine);
