// The background thread of one update run: finds the carried image in the work folder, decides
// against the running BIOS version whether to flash it, runs the flash utility when it is newer,
// stamps the registry and ends the run through the status window.
#pragma once

#include "afx.h"

class CUpdateDlg;

class CHWDriverDownloadThread : public CWinThread {
    DECLARE_DYNCREATE(CHWDriverDownloadThread)

public:
    // For dynamic creation only: without a window the thread has nothing to report to and does
    // nothing.
    CHWDriverDownloadThread();
    explicit CHWDriverDownloadThread(CUpdateDlg* pOwner);
    ~CHWDriverDownloadThread() override;

    BOOL InitInstance() override;
    int ExitInstance() override;
    // After the framework's report of an exception that ended the run early, posts
    // WM_UPDATE_FINISH, so that the run still ends in order (clean-up, quit).
    void ProcessWndProcException(const CException& e, const MSG* msg) override;

    int DoUpdate();
    // Sets m_strFoundFile to the name of the first file matching `pattern`, or empties it.
    BOOL FindImageFile(CString pattern);
    // Loads string `id` and makes it the window's status text; a missing string leaves the text
    // as the previous load left it.
    void ShowStatus(UINT id);

    // Runs the flash utility of `workFolder` with `commandLine` there, hidden, and waits for it to
    // end. FALSE, at once, when it could not be started or the work folder does not hold exactly
    // the package's payload; TRUE once it has ended, whatever its exit code. While it runs, its
    // files are held unchanged and the window leaves the work folder, and the screen's top, to it.
    BOOL RunFlashUtility(CString commandLine, CString workFolder);
    // Writes the program's version under HKEY_USERS; FALSE when the key or value could not be
    // written.
    BOOL WriteVersionStamp();

    CUpdateDlg* m_pOwner;
    CString m_strFoundFile;
    CString m_strBiosPrefix;

protected:
    DECLARE_MESSAGE_MAP()

private:
    // The last status text loaded, shown again when a string is missing.
    CString m_strStatusText;

    void FinishWithoutFlash(UINT statusId, DWORD pauseMilliseconds);
    void Flash(const char* workFolder, const CString& imageName);
};
