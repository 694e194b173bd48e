"""The executable's size by kind of section, read from its PE headers: code, data, resources and
debug information, in bytes stored in the file."""

import struct


def sections(path):
    """[(name, bytes in the file, characteristics)]; long names (MinGW's "/4" for its DWARF
    sections) are looked up in the COFF string table."""
    with open(path, "rb") as handle:
        data = handle.read()
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header:header + 4] != b"PE\0\0":
        raise ValueError(f"{path} is no PE executable")
    count, _, symbols, symbol_count, optional_size = struct.unpack_from("<HIIIH", data,
                                                                        header + 6)
    strings = symbols + symbol_count * 18
    found = []
    table = header + 24 + optional_size
    for index in range(count):
        raw_name, _, _, raw_size, _, _, _, _, _, flags = struct.unpack_from(
            "<8sIIIIIIHHI", data, table + 40 * index)
        name = raw_name.rstrip(b"\0").decode("ascii")
        if name.startswith("/") and symbols:
            offset = strings + int(name[1:])
            name = data[offset:data.index(b"\0", offset)].decode("ascii")
        found.append((name, raw_size, flags))
    return found


def kinds(path):
    """{"code", "data", "resources", "debug": bytes} of the sections."""
    total = {"code": 0, "data": 0, "resources": 0, "debug": 0}
    for name, size, flags in sections(path):
        if name.startswith(".debug"):
            total["debug"] += size
        elif name == ".rsrc":
            total["resources"] += size
        elif flags & 0x20:  # IMAGE_SCN_CNT_CODE
            total["code"] += size
        else:
            total["data"] += size
    return total
