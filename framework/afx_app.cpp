#include "afx_app.h"

#include <cstring>
#include <new>

namespace {

CWinApp* g_application = nullptr;
HINSTANCE g_resourceHandle = nullptr;

// The executable's file name without folder and extension.
CString ModuleBaseName() {
    char path[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char* name = path;
    for (const char* at = path; *at != '\0'; ++at) {
        if (*at == '\\' || *at == '/') {
            name = at + 1;
        }
    }
    const char* extension = std::strrchr(name, '.');
    const int length = static_cast<int>(extension != nullptr ? extension - name
                                                             : static_cast<int>(std::strlen(name)));
    return CString(name, length);
}

} // namespace

CWinApp::CWinApp(const char* appName) {
    // The application object is a global: nobody may delete it when its "thread" ends.
    m_bAutoDelete = FALSE;
    if (appName != nullptr) {
        m_strAppName = appName;
        m_pszAppName = m_strAppName;
    }
    g_application = this;
}

CWinApp::~CWinApp() {
    if (g_application == this) {
        g_application = nullptr;
    }
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

void CWinApp::SetRegistryKey(const char* key) {
    if (key == nullptr) {
        return;
    }
    m_strRegistryKey = key;
    m_pszRegistryKey = m_strRegistryKey;
    m_pszProfileName = AfxGetAppName();
}

void CWinApp::OnHelp() {
    // No help file is shipped with the program, so the help command has nothing to open.
}

CWinApp* AfxGetApp() {
    return g_application;
}

CWnd* AfxGetMainWnd() {
    return g_application != nullptr ? g_application->m_pMainWnd : nullptr;
}

HINSTANCE AfxGetInstanceHandle() {
    if (g_application != nullptr && g_application->m_hInstance != nullptr) {
        return g_application->m_hInstance;
    }
    return ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle() {
    return g_resourceHandle != nullptr ? g_resourceHandle : AfxGetInstanceHandle();
}

void AfxSetResourceHandle(HINSTANCE resources) {
    g_resourceHandle = resources;
}

const char* AfxGetAppName() {
    if (g_application != nullptr && g_application->m_pszAppName != nullptr) {
        return g_application->m_pszAppName;
    }
    static const CString moduleName = ModuleBaseName();
    return moduleName;
}

BOOL AfxEnableControlContainer(void*) {
    return TRUE;
}

void AfxProcessEscapedException(const CException& e, const MSG* msg) {
    // The report runs at a boundary no exception may cross; one raised while reporting is dropped.
    try {
        CWinThread* const thread = AfxGetThread() != nullptr ? AfxGetThread() : g_application;
        if (thread != nullptr) {
            thread->ProcessWndProcException(e, msg);
        } else {
            e.ReportError();
        }
    } catch (const CException&) {
    } catch (const std::bad_alloc&) {
    }
}

int AfxWinMain(HINSTANCE instance, char* commandLine) {
    CWinApp* const application = g_application;
    if (application == nullptr) {
        return -1;
    }
    application->m_hInstance = instance;
    application->m_lpCmdLine = commandLine;
    if (application->m_pszAppName == nullptr) {
        application->m_strAppName = ModuleBaseName();
        application->m_pszAppName = application->m_strAppName;
    }
    return application->RunThreadBody();
}
