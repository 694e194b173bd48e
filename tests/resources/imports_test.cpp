// The PE header and import table of BIOSUpdate.exe: a 32-bit GUI program for Windows XP that
// imports only reviewed functions of Windows' own DLLs. A new import fails here until someone has
// checked that XP has it and added it to xp_imports.txt.
#include "pe_file.h"
#include "product_module.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

using Allowlist = std::set<std::pair<std::string, std::string>>;

// Windows' own DLLs that an XP program may load without shipping them.
const std::set<std::string> kSystemDlls = {
    "ADVAPI32.DLL", "COMCTL32.DLL", "GDI32.DLL",   "KERNEL32.DLL", "MSVCRT.DLL", "OLE32.DLL",
    "OLEAUT32.DLL", "SHELL32.DLL",  "SHLWAPI.DLL", "USER32.DLL",   "VERSION.DLL"};

// Functions that arrived after XP; none may be imported or allowed by mistake.
const char* const kNewerThanXp[] = {"GetTickCount64",
                                    "InitializeCriticalSectionEx",
                                    "InitOnceExecuteOnce",
                                    "InitializeSRWLock",
                                    "AcquireSRWLockExclusive",
                                    "ReleaseSRWLockExclusive",
                                    "SleepConditionVariableCS",
                                    "WakeConditionVariable",
                                    "InitializeConditionVariable",
                                    "CreateEventExA",
                                    "CreateEventExW",
                                    "CreateMutexExA",
                                    "CreateMutexExW",
                                    "FlsAlloc",
                                    "FlsGetValue",
                                    "FlsSetValue",
                                    "FlsFree",
                                    "GetLocaleInfoEx",
                                    "CompareStringEx",
                                    "LCMapStringEx",
                                    "GetUserDefaultLocaleName",
                                    "GetFileInformationByHandleEx",
                                    "SetFileInformationByHandle",
                                    "CreateSymbolicLinkA",
                                    "GetFinalPathNameByHandleA",
                                    "QueryFullProcessImageNameA",
                                    "CancelIoEx",
                                    "GetErrorMode",
                                    "RegGetValueA",
                                    "RegDeleteTreeA",
                                    "SHGetKnownFolderPath",
                                    "TaskDialog",
                                    "TaskDialogIndirect",
                                    "GetSystemTimePreciseAsFileTime",
                                    "GetCurrentProcessorNumber",
                                    "CreateThreadpoolWork",
                                    "GetProductInfo",
                                    "CopyFile2",
                                    "SetThreadErrorMode"};

// "<DLL> <function>" per line ("<DLL> #<ordinal>" for an import by ordinal); "#" starts a
// comment line.
Allowlist ReadAllowlist() {
    const std::string path = WinePath(BIOSUPDATE_XP_IMPORTS);
    std::ifstream file(path);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    Allowlist allowed;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::string dll, function, rest;
        if (!(fields >> dll >> function) || fields >> rest) {
            throw std::runtime_error("malformed allowlist line: " + line);
        }
        allowed.emplace(UpperCase(dll), function);
    }
    return allowed;
}

std::string Name(const PeImport& import) {
    return import.function.empty() ? "#" + std::to_string(import.ordinal) : import.function;
}

PeFile ProductPe() {
    return ParsePeFile(ReadFileBytes(ProductExecutable()));
}

TEST(ProgramImage, IsA32BitGuiProgramForXp) {
    PeFile program = ProductPe();
    EXPECT_EQ(program.machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_NE(program.characteristics & IMAGE_FILE_EXECUTABLE_IMAGE, 0);
    EXPECT_EQ(program.optional_header_magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(program.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(program.subsystem_major, 5);
    EXPECT_EQ(program.subsystem_minor, 1);
    EXPECT_LE(program.os_major * 100 + program.os_minor, 501);
}

TEST(ProgramImage, ImportsOnlyReviewedFunctionsOfSystemDlls) {
    PeFile program = ProductPe();
    Allowlist allowed = ReadAllowlist();
    EXPECT_FALSE(program.has_delay_imports) << "delayed imports escape this review";
    ASSERT_FALSE(program.imports.empty());
    for (const PeImport& import : program.imports) {
        std::string dll = UpperCase(import.dll);
        EXPECT_EQ(kSystemDlls.count(dll), 1u) << import.dll << " is not a Windows DLL";
        EXPECT_EQ(allowed.count({dll, Name(import)}), 1u)
            << import.dll << " " << Name(import)
            << " is not in xp_imports.txt: check that Windows XP has it, then add it";
    }
}

TEST(ProgramImage, AllowlistHoldsOnlySystemDllsAndNothingNewerThanXp) {
    for (const auto& [dll, function] : ReadAllowlist()) {
        EXPECT_EQ(kSystemDlls.count(dll), 1u) << dll;
        for (const char* newer : kNewerThanXp) {
            EXPECT_NE(function, newer) << dll;
        }
    }
}

} // namespace
