// Points one import of this test program at a replacement while the patch lives: the way to make a
// system call fail that Wine cannot be made to fail (an allocation), or to look at the moment the
// program makes a call. Only calls from this program's own code, the product's linked into it
// included, go through its import table.
#pragma once

#include <windows.h>

template <typename Function> class ImportPatch {
public:
    ImportPatch(const char* moduleName, const char* name, Function* replacement)
        : m_original(reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(
              ::GetProcAddress(::GetModuleHandleA(moduleName), name)))) {
        auto* program = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
        const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            program + reinterpret_cast<const IMAGE_DOS_HEADER*>(program)->e_lfanew);
        const DWORD imports =
            headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (auto* module = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(program + imports);
             imports != 0 && module->Name != 0 && m_slot == nullptr; ++module) {
            auto* slot = reinterpret_cast<Function**>(program + module->FirstThunk);
            for (; *slot != nullptr && m_original != nullptr; ++slot) {
                if (*slot == m_original) {
                    m_slot = slot;
                    Write(replacement);
                    break;
                }
            }
        }
    }
    ~ImportPatch() {
        if (m_slot != nullptr) {
            Write(m_original);
        }
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    // False when the program does not import the function.
    bool Applied() const { return m_slot != nullptr; }
    Function* Original() const { return m_original; }

private:
    void Write(Function* function) {
        DWORD protection = 0;
        ::VirtualProtect(m_slot, sizeof *m_slot, PAGE_READWRITE, &protection);
        *m_slot = function;
        ::VirtualProtect(m_slot, sizeof *m_slot, protection, &protection);
    }

    Function* m_original;
    Function** m_slot = nullptr;
};
