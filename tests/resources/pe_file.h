// The headers and import table of a 32-bit PE file, read from its bytes without loading it.
#pragma once

#include "file_bytes.h"

#include <cstdint>
#include <string>
#include <vector>

struct PeImport {
    std::string dll;
    std::string function; // empty for an import by ordinal
    std::uint16_t ordinal = 0;
};

struct PeFile {
    std::uint16_t machine = 0;
    std::uint16_t characteristics = 0;
    std::uint16_t optional_header_magic = 0;
    std::uint16_t subsystem = 0;
    std::uint16_t subsystem_major = 0;
    std::uint16_t subsystem_minor = 0;
    std::uint16_t os_major = 0;
    std::uint16_t os_minor = 0;
    bool has_delay_imports = false;
    std::vector<PeImport> imports;
};

// DLL names compare without regard to case.
std::string UpperCase(std::string text);

// Throws std::runtime_error when the bytes are not a well-formed PE32 file.
PeFile ParsePeFile(const Bytes& bytes);
