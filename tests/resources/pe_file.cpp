#include "pe_file.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace {

class PeReader {
public:
    explicit PeReader(const Bytes& bytes) : m_bytes(bytes) {}

    template <typename T> T At(std::size_t offset) const {
        if (offset > m_bytes.size() || m_bytes.size() - offset < sizeof(T)) {
            throw std::runtime_error("PE file truncated");
        }
        T value;
        std::memcpy(&value, m_bytes.data() + offset, sizeof(T));
        return value;
    }

    std::string StringAt(std::size_t offset) const {
        std::string text;
        for (;; ++offset) {
            char character = At<char>(offset);
            if (character == '\0') {
                return text;
            }
            text += character;
        }
    }

    void ReadSections(std::size_t first, unsigned count) {
        for (unsigned index = 0; index < count; ++index) {
            m_sections.push_back(
                At<IMAGE_SECTION_HEADER>(first + index * sizeof(IMAGE_SECTION_HEADER)));
        }
    }

    std::size_t OffsetOf(DWORD rva) const {
        for (const IMAGE_SECTION_HEADER& section : m_sections) {
            DWORD size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < size) {
                return section.PointerToRawData + (rva - section.VirtualAddress);
            }
        }
        throw std::runtime_error("RVA outside every section");
    }

private:
    const Bytes& m_bytes;
    std::vector<IMAGE_SECTION_HEADER> m_sections;
};

void ReadImports(const PeReader& reader, DWORD directory_rva, std::vector<PeImport>& imports) {
    std::size_t descriptor_offset = reader.OffsetOf(directory_rva);
    for (;; descriptor_offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        auto descriptor = reader.At<IMAGE_IMPORT_DESCRIPTOR>(descriptor_offset);
        if (descriptor.Name == 0) {
            return;
        }
        std::string dll = reader.StringAt(reader.OffsetOf(descriptor.Name));
        DWORD thunks =
            descriptor.OriginalFirstThunk ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
        for (std::size_t thunk = reader.OffsetOf(thunks);; thunk += sizeof(DWORD)) {
            auto entry = reader.At<DWORD>(thunk);
            if (entry == 0) {
                break;
            }
            PeImport import{dll, "", 0};
            if (entry & IMAGE_ORDINAL_FLAG32) {
                import.ordinal = static_cast<std::uint16_t>(entry & 0xFFFF);
            } else {
                // IMAGE_IMPORT_BY_NAME: a hint, then the name.
                import.function = reader.StringAt(reader.OffsetOf(entry) + sizeof(WORD));
            }
            imports.push_back(import);
        }
    }
}

} // namespace

std::string UpperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char character) { return static_cast<char>(std::toupper(character)); });
    return text;
}

PeFile ParsePeFile(const Bytes& bytes) {
    PeReader reader(bytes);
    auto dos = reader.At<IMAGE_DOS_HEADER>(0);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE) {
        throw std::runtime_error("no MZ signature");
    }
    auto nt_offset = static_cast<std::size_t>(dos.e_lfanew);
    auto nt = reader.At<IMAGE_NT_HEADERS32>(nt_offset);
    if (nt.Signature != IMAGE_NT_SIGNATURE) {
        throw std::runtime_error("no PE signature");
    }
    PeFile file;
    file.machine = nt.FileHeader.Machine;
    file.characteristics = nt.FileHeader.Characteristics;
    file.optional_header_magic = nt.OptionalHeader.Magic;
    if (file.optional_header_magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        return file;
    }
    file.subsystem = nt.OptionalHeader.Subsystem;
    file.subsystem_major = nt.OptionalHeader.MajorSubsystemVersion;
    file.subsystem_minor = nt.OptionalHeader.MinorSubsystemVersion;
    file.os_major = nt.OptionalHeader.MajorOperatingSystemVersion;
    file.os_minor = nt.OptionalHeader.MinorOperatingSystemVersion;

    std::size_t sections = nt_offset + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                           nt.FileHeader.SizeOfOptionalHeader;
    reader.ReadSections(sections, nt.FileHeader.NumberOfSections);

    const IMAGE_DATA_DIRECTORY* directories = nt.OptionalHeader.DataDirectory;
    DWORD directory_count = nt.OptionalHeader.NumberOfRvaAndSizes;
    if (directory_count > IMAGE_DIRECTORY_ENTRY_IMPORT &&
        directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress != 0) {
        ReadImports(reader, directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress, file.imports);
    }
    file.has_delay_imports = directory_count > IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT &&
                             directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress != 0;
    return file;
}
