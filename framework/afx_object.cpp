#include "afx_object.h"

#include "afx_wnd.h"

const CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), 0xFFFF,
                                             nullptr, nullptr};

CObject* CRuntimeClass::CreateObject() const {
    return m_pfnCreateObject != nullptr ? m_pfnCreateObject() : nullptr;
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* baseClass) const {
    for (const CRuntimeClass* runtimeClass = this; runtimeClass != nullptr;
         runtimeClass = runtimeClass->m_pBaseClass) {
        if (runtimeClass == baseClass) {
            return TRUE;
        }
    }
    return FALSE;
}

const CRuntimeClass* CObject::GetRuntimeClass() const {
    return RUNTIME_CLASS(CObject);
}

BOOL CObject::IsKindOf(const CRuntimeClass* runtimeClass) const {
    return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
}

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY noEntries[] = {{0, 0, nullptr}};
    static const AFX_MSGMAP messageMap = {nullptr, noEntries};
    return &messageMap;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

namespace {

// The message under which a table holds the entry for `message`: every control-colour message
// shares the one entry of the 16-bit WM_CTLCOLOR.
UINT TableMessageFor(UINT message) {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC ? WM_CTLCOLOR : message;
}

bool Matches(const AFX_MSGMAP_ENTRY& entry, UINT tableMessage, WPARAM wParam) {
    if (entry.message != tableMessage) {
        return false;
    }
    // Commands match by id, from a menu (code 0, also a button click) or an accelerator (1).
    return tableMessage != WM_COMMAND || (entry.id == LOWORD(wParam) && HIWORD(wParam) <= 1);
}

} // namespace

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message, WPARAM wParam) const {
    const UINT tableMessage = TableMessageFor(message);
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->entries; entry->message != 0; ++entry) {
            if (Matches(*entry, tableMessage, wParam)) {
                return entry;
            }
        }
    }
    return nullptr;
}
