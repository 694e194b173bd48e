#include "app/update_app.h"

#include "app/start_checks.h"
#include "payload/work_folder.h"
#include "res/resource.h"
#include "sysinfo/com_security.h"
#include "ui/progress_geometry.h"
#include "ui/update_dlg.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlwapi.h>

namespace {

const char kInstanceMutexName[] = "The Program of BIOS update program";
const char kAutostartKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kAutostartValue[] = "BIOSUpdate";
const char kPowerCaption[] = "BIOS Update";
const char kRegistryKey[] = "Local AppWizard-Generated Applications";
// The framework's command id of the help command.
const UINT ID_HELP = 0xE146;
// "권한 설정 실패" in code page 949: shown on Korean systems whatever the resource language.
const char kComSecurityFailureKorean[] = "\xB1\xC7\xC7\xD1 \xBC\xB3\xC1\xA4 \xBD\xC7\xC6\xD0";
const char kComSecurityFailure[] = "The fail of authority Setting";

} // namespace

BEGIN_MESSAGE_MAP(CUpdateApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CUpdateApp::CUpdateApp() = default;

BOOL CUpdateApp::InitInstance() {
    InitCommonControls();
    CWinApp::InitInstance();
    AfxEnableControlContainer();

    // Open until the start-up returns, right before the process ends: the name marks the running
    // instance.
    const KernelHandle instanceMutex(CreateMutexA(nullptr, FALSE, kInstanceMutexName));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        return FALSE;
    }

    if (IsCleanUpRequest(m_lpCmdLine)) {
        SHDeleteValueA(HKEY_LOCAL_MACHINE, kAutostartKey, kAutostartValue);
        CleanUpWorkFolder();
        return FALSE;
    }

    SYSTEM_POWER_STATUS power = {};
    const bool powerKnown = GetSystemPowerStatus(&power) != FALSE;
    switch (JudgePowerStatus(powerKnown, power.ACLineStatus, power.BatteryLifePercent)) {
    case PowerVerdict::NoMainsPower:
        RefusePower(IDS_NO_AC);
        return FALSE;
    case PowerVerdict::LowBattery:
        RefusePower(IDS_LOW_BATTERY);
        return FALSE;
    case PowerVerdict::Proceed:
        break;
    }

    // Declared before the window, so that the window and its WMI pointers go first.
    const CComApartment apartment;
    if (FAILED(InitializeComSecurity())) {
        AfxMessageBox(ui::IsKoreanSystemLocale(GetSystemDefaultLCID()) ? kComSecurityFailureKorean
                                                                       : kComSecurityFailure,
                      0, 0);
        return FALSE;
    }

    SetRegistryKey(kRegistryKey);
    CUpdateDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;

    // Created unowned, so this releases nothing; the name stays taken until the start-up returns.
    ReleaseMutex(instanceMutex.Get());
    return FALSE;
}

void CUpdateApp::RefusePower(UINT messageId) {
    CleanUpWorkFolder();
    CString message;
    message.LoadString(messageId);
    MessageBoxA(nullptr, message, kPowerCaption, MB_OK);
}

void CUpdateApp::ProcessWndProcException(const CException& error, const MSG* message) {
    CWinApp::ProcessWndProcException(error, message);
    auto* dialog = dynamic_cast<CUpdateDlg*>(m_pMainWnd);
    if (dialog != nullptr && dialog->GetSafeHwnd() != nullptr) {
        dialog->AbandonRun();
    }
}

int CUpdateApp::CleanUpWorkFolder() {
    payload::CleanUpWorkFolder();
    return 0;
}
