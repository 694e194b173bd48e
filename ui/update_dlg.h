// The full-screen status window that drives one update run.
#pragma once

#include "afx.h"
#include "ui/update_messages.h"

#include <wbemidl.h>

class CHWDriverDownloadThread;

class CUpdateDlg : public CDialog {
public:
    explicit CUpdateDlg(CWnd* pParent = nullptr);
    ~CUpdateDlg() override;

    BOOL PreTranslateMessage(MSG* pMsg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;

    // Worker thread and painting exchange the status text only through these two.
    void SetStatus(const CString& text);
    CString GetStatus() const;

    // Ends a run whose initialisation or start (OnInitDialog or StartUpdate itself) an exception
    // abandoned: cleans up the work folder and posts WM_UPDATE_QUIT, so the user is never left
    // with a window that cannot be closed. Called by the application's exception handler after
    // its report; an exception that abandoned any other handler leaves the run alone.
    void AbandonRun();

    // The worker marks the flash utility's run, from just before its start until it has ended:
    // meanwhile close requests leave the work folder alone. Once the process is known, a window
    // it shows is kept above the status screen.
    void SetUtilityRunning(bool running);
    void SetUtilityProcess(DWORD processId);

    int StartUpdate();

    // The size the status screen covers: the primary screen's, as the system gives it to this
    // program (scaled for a program that does not declare itself DPI-aware).
    static SIZE ScreenSize();

    // Work-folder routines; the work itself lives in payload/.
    int CleanUpWorkFolder();
    int ExtractUtilityFiles();
    void ExtractBiosImage();
    int WriteResourceFile(UINT id, const char* path);

    // BIOS version query (sysinfo/bios_query.cpp).
    BOOL ConnectWmi();
    BOOL GetFirstInstance(const wchar_t* className, IEnumWbemClassObject** enumerator,
                          IWbemClassObject** instance);
    BOOL GetPropertyValue(const wchar_t* propertyName, IWbemClassObject* instance, VARIANT* value);
    void ReadBiosVersion();

    CString m_strBiosVersion;
    CString m_strStatus;
    int m_nProgress;
    CString m_strText;
    CString m_strImageFile;
    COleVariant m_varValue;
    CHWDriverDownloadThread* m_pUpdateThread;
    // Released with the window, the instance first and the connection last.
    ComPtr<IWbemServices> m_pSvc;
    ComPtr<IEnumWbemClassObject> m_pEnumerator;
    ComPtr<IWbemClassObject> m_pClassObject;
    HICON m_hIcon;

protected:
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    afx_msg void OnEndSession(BOOL bEnding);
    afx_msg BOOL OnQueryEndSession();
    DECLARE_MESSAGE_MAP()

private:
    // Topmost, at the origin, as large as the primary screen, shown.
    void CoverScreen();
    // While the flash utility runs, a window it shows (an error, a question) stays above the
    // status screen with the keyboard: the utility may wait for its answer. True while there is
    // one; the screen then covers everything else.
    bool GiveWayToUtilityWindow();
    // Removes the payload and ends the modal loop through WM_UPDATE_QUIT.
    void CleanUpAndQuit();

    // Guards m_strStatus between the worker's replacement and the paint's copy.
    mutable CCriticalSection m_statusLock;
    // The black of the dialog background; created at the first request, kept for the window's
    // life so the system can still paint with it after OnCtlColor has returned.
    ScopedHandle<GdiObjectTraits> m_backgroundBrush;
    // Set when the start timer first fires.
    bool m_bUpdateStarted = false;
    // Set when an exception abandons OnInitDialog or StartUpdate, for AbandonRun.
    bool m_bStepAbandoned = false;
    // Set once the run ends (its quit is on the way): no worker starts any more.
    bool m_bRunEnding = false;
    // The worker thread, held so that the window object outlives the worker's use of it.
    KernelHandle m_workerThread;
    // Guards the utility's run between the worker, the close request's clean-up and the
    // animation.
    CCriticalSection m_utilityLock;
    bool m_bUtilityRunning = false;
    DWORD m_dwUtilityProcessId = 0;
};
