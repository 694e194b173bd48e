"""The executable's size by kind of section, read from its PE headers: code, data, resources and
debug information, in bytes stored in the file."""

import pefile


def sections(path):
    """[(name, bytes in the file, characteristics)]; long names (MinGW's "/4" for its DWARF
    sections) are looked up in the COFF string table."""
    pe = pefile.PE(path, fast_load=True)
    symbols = pe.FILE_HEADER.PointerToSymbolTable
    strings = symbols + pe.FILE_HEADER.NumberOfSymbols * 18
    found = []
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode("ascii")
        if name.startswith("/") and symbols:
            name = pe.get_string_from_data(strings + int(name[1:]), pe.__data__).decode("ascii")
        found.append((name, section.SizeOfRawData, section.Characteristics))
    return found


def kinds(path):
    """{"code", "data", "resources", "debug": bytes} of the sections."""
    total = {"code": 0, "data": 0, "resources": 0, "debug": 0}
    for name, size, flags in sections(path):
        if name.startswith(".debug"):
            total["debug"] += size
        elif name == ".rsrc":
            total["resources"] += size
        elif flags & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_CNT_CODE"]:
            total["code"] += size
        else:
            total["data"] += size
    return total
