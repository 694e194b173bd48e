// The running BIOS version, read from WMI on the status window's thread.
#include "ui/update_dlg.h"

#include "sysinfo/system_string.h"

#include <wbemcli.h>

namespace {

const char kNamespacePath[] = "\\\\.\\root\\cimv2";
const wchar_t kBiosClass[] = L"Win32_BIOS";
const wchar_t kBiosVersionProperty[] = L"SMBIOSBIOSVersion";
// Bounds the wait for the first instance; the other WMI calls have no bound of their own.
const LONG kFirstInstanceTimeoutMs = 2000;

} // namespace

BOOL CUpdateDlg::ConnectWmi() {
    // Converted first: an allocation failure must leave nothing behind.
    const SystemString path = MultiByteToSystemString(kNamespacePath);

    ComPtr<IWbemLocator> locator;
    if (::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                           reinterpret_cast<void**>(locator.Receive())) != S_OK) {
        return FALSE;
    }

    const HRESULT connected = locator->ConnectServer(path.Get(), nullptr, nullptr, nullptr, 0,
                                                     nullptr, nullptr, m_pSvc.Receive());
    if (FAILED(connected)) {
        // A failed call should hand nothing back; if it did anyway, it is not a connection.
        m_pSvc.Reset();
        return FALSE;
    }
    return TRUE;
}

BOOL CUpdateDlg::GetFirstInstance(const wchar_t* className, IEnumWbemClassObject** enumerator,
                                  IWbemClassObject** instance) {
    if (!m_pSvc || className == nullptr || enumerator == nullptr || instance == nullptr) {
        return FALSE;
    }
    // Out-parameters: handed over only together, on success.
    *enumerator = nullptr;
    *instance = nullptr;

    ComPtr<IEnumWbemClassObject> found;
    HRESULT enumerated = E_OUTOFMEMORY;
    {
        const SystemString name(::SysAllocString(className));
        if (!name) {
            return FALSE;
        }
        enumerated = m_pSvc->CreateInstanceEnum(name.Get(), 0, nullptr, found.Receive());
    }
    if (FAILED(enumerated) || !found) {
        return FALSE;
    }

    ComPtr<IWbemClassObject> first;
    ULONG returned = 0;
    const HRESULT fetched = found->Next(kFirstInstanceTimeoutMs, 1, first.Receive(), &returned);
    // WBEM_S_FALSE and WBEM_S_TIMEDOUT are success codes: only the count says an object came.
    if (FAILED(fetched) || returned != 1 || !first) {
        return FALSE;
    }
    *enumerator = found.Detach();
    *instance = first.Detach();
    return TRUE;
}

BOOL CUpdateDlg::GetPropertyValue(const wchar_t* propertyName, IWbemClassObject* instance,
                                  VARIANT* value) {
    if (value == nullptr) {
        return FALSE;
    }
    ::VariantClear(value);
    if (propertyName == nullptr || instance == nullptr) {
        return FALSE;
    }
    const SystemString name(::SysAllocString(propertyName));
    if (!name) {
        return FALSE;
    }
    return SUCCEEDED(instance->Get(name.Get(), 0, value, nullptr, nullptr)) ? TRUE : FALSE;
}

void CUpdateDlg::ReadBiosVersion() {
    // Every way out without a string value leaves the version empty.
    m_strBiosVersion.Empty();
    if (!ConnectWmi()) {
        return;
    }
    if (GetFirstInstance(kBiosClass, m_pEnumerator.Receive(), m_pClassObject.Receive()) &&
        GetPropertyValue(kBiosVersionProperty, m_pClassObject.Get(), &m_varValue) &&
        V_VT(&m_varValue) == VT_BSTR) {
        // Stored in full, spaces included: the worker compares it as it is.
        m_strBiosVersion = CString(V_BSTR(&m_varValue));
        m_strBiosVersion.MakeUpper();
    }
    m_pClassObject.Reset();
    m_pEnumerator.Reset();
}
