// The product tree's BIOSUpdate.exe, loaded as a data file, and what its build tree recorded.
#pragma once

#include "file_bytes.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

constexpr WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US); // 1033
constexpr WORD kKorean = MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN);       // 1042

// The product build folder as Windows sees it; throws when the tests tree was configured
// without one.
std::string ProductFolder();

// "<product folder>\BIOSUpdate.exe"; throws when the file is not there.
std::string ProductExecutable();

// A value of the product tree's CMakeCache.txt, Unix paths left as they are; throws when the
// entry is missing.
std::string ProductCacheValue(const std::string& name);

// A Unix path of this machine as a Windows path under Wine (drive Z: maps the root).
std::string WinePath(const std::string& unix_path);

class ResourceModule {
public:
    explicit ResourceModule(const std::string& path);
    ~ResourceModule();
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;

    HMODULE Handle() const { return m_module; }

    // The resource's bytes in exactly that language, or nothing when it is not there.
    std::optional<Bytes> Find(LPCSTR type, LPCSTR name, WORD language) const;

    // Every language the resource exists in, in ascending order.
    std::vector<WORD> Languages(LPCSTR type, LPCSTR name) const;

    // The numeric names of every resource of the type, in ascending order.
    std::vector<WORD> NumericNames(LPCSTR type) const;

private:
    HMODULE m_module;
};

// BIOSUpdate.exe of the product tree, loaded once for all tests.
const ResourceModule& Product();
