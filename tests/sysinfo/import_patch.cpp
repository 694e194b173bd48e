#include "import_patch.h"

namespace {

template <typename T> T* AtOffset(HMODULE module, DWORD offset) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + offset);
}

FARPROC* FindImportSlot(const char* moduleName, FARPROC target) {
    const HMODULE program = ::GetModuleHandleA(nullptr);
    const auto* dosHeader = reinterpret_cast<const IMAGE_DOS_HEADER*>(program);
    const auto* ntHeaders = AtOffset<const IMAGE_NT_HEADERS>(program, dosHeader->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        ntHeaders->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return nullptr;
    }
    for (auto* descriptor = AtOffset<IMAGE_IMPORT_DESCRIPTOR>(program, imports.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        if (::lstrcmpiA(AtOffset<const char>(program, descriptor->Name), moduleName) != 0) {
            continue;
        }
        for (auto* thunk = AtOffset<IMAGE_THUNK_DATA>(program, descriptor->FirstThunk);
             thunk->u1.Function != 0; ++thunk) {
            auto* slot = reinterpret_cast<FARPROC*>(&thunk->u1.Function);
            if (*slot == target) {
                return slot;
            }
        }
    }
    return nullptr;
}

void WriteSlot(FARPROC* slot, FARPROC value) {
    DWORD protection = 0;
    if (::VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) {
        *slot = value;
        ::VirtualProtect(slot, sizeof(*slot), protection, &protection);
    }
}

} // namespace

ScopedImportPatch::ScopedImportPatch(const char* moduleName, const char* functionName,
                                     FARPROC replacement) {
    const HMODULE module = ::GetModuleHandleA(moduleName);
    if (module == nullptr) {
        return;
    }
    m_original = ::GetProcAddress(module, functionName);
    m_slot = m_original != nullptr ? FindImportSlot(moduleName, m_original) : nullptr;
    if (m_slot != nullptr) {
        WriteSlot(m_slot, replacement);
    }
}

ScopedImportPatch::~ScopedImportPatch() {
    if (m_slot != nullptr) {
        WriteSlot(m_slot, m_original);
    }
}
