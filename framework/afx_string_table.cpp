#include "afx_string_table.h"

namespace {

constexpr UINT kStringsPerBlock = 16;

} // namespace

std::wstring_view FindStringTableEntry(HMODULE module, UINT id) {
    const HRSRC block =
        ::FindResourceA(module, MAKEINTRESOURCEA(id / kStringsPerBlock + 1), RT_STRING);
    if (block == nullptr) {
        return {};
    }
    const HGLOBAL loaded = ::LoadResource(module, block);
    const auto* entry =
        static_cast<const WCHAR*>(loaded != nullptr ? ::LockResource(loaded) : nullptr);
    if (entry == nullptr) {
        return {};
    }
    // A damaged block must not lead past its end.
    const WCHAR* const end = entry + ::SizeofResource(module, block) / sizeof(WCHAR);
    for (UINT skipped = 0; skipped < id % kStringsPerBlock; ++skipped) {
        if (entry >= end || static_cast<size_t>(end - entry) <= *entry) {
            return {};
        }
        entry += 1 + *entry;
    }
    if (entry >= end || static_cast<size_t>(end - entry) <= *entry) {
        return {};
    }
    return std::wstring_view(reinterpret_cast<const wchar_t*>(entry + 1), *entry);
}
