// Points one import of this test program at a replacement while the patch lives, so that a system
// call which cannot be made to fail on demand under Wine (an allocation) fails for the code under
// test. Only calls made from this program's own code go through its import table.
#ifndef BIOSUPDATE_TESTS_SYSINFO_IMPORT_PATCH_H
#define BIOSUPDATE_TESTS_SYSINFO_IMPORT_PATCH_H

#include <windows.h>

class ScopedImportPatch {
public:
    template <typename Function>
    ScopedImportPatch(const char* moduleName, const char* functionName, Function* replacement)
        : ScopedImportPatch(moduleName, functionName,
                            reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(replacement))) {}
    ScopedImportPatch(const char* moduleName, const char* functionName, FARPROC replacement);
    ~ScopedImportPatch();
    ScopedImportPatch(const ScopedImportPatch&) = delete;
    ScopedImportPatch& operator=(const ScopedImportPatch&) = delete;

    // False when the program does not import the function from that module.
    bool IsApplied() const { return m_slot != nullptr; }

private:
    FARPROC* m_slot = nullptr;
    FARPROC m_original = nullptr;
};

#endif
