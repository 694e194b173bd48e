"""After the link and before signing: where Windows looks for the DLLs of a built BIOSUpdate.exe.

- Its imports must be DLLs that Windows never looks for in the program's folder: KnownDLLs, and
  comctl32, which the manifest takes from the side-by-side store. Any other would be loaded from
  the download folder the elevated program was started in, on systems that do not apply the load
  configuration (all before Windows 10 1607). One appearing fails the build.
- The linker leaves the load-configuration directory empty; it is pointed here at
  _load_config_used (app/load_config.c), with the size that structure gives itself, and the PE
  checksum is written afresh.

On failure the executable is removed, so that nothing unchecked is left to ship. MAP is the
linker's map file, which locates the structure.

Exit status: 0 when the executable is checked and rewritten, 1 when it is refused (and removed),
2 on bad usage."""

import argparse
import os
import re
import struct
import sys

import pefile

ALLOWED_DLLS = {"ADVAPI32.DLL", "COMCTL32.DLL", "GDI32.DLL", "KERNEL32.DLL", "MSVCRT.DLL",
                "OLE32.DLL", "OLEAUT32.DLL", "SHELL32.DLL", "SHLWAPI.DLL", "USER32.DLL"}
LOAD_CONFIG = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]
IMPORTS = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]


class Refused(Exception):
    pass


def load_config_address(map_text):
    found = re.findall(r"^\s+0x([0-9a-f]+)\s+_?_load_config_used$", map_text, re.M)
    if len(found) != 1:
        raise Refused("the map names _load_config_used %d times instead of once" % len(found))
    return int(found[0], 16)


def harden(data, map_text):
    """The executable's bytes with the directory pointed and the checksum written."""
    pe = pefile.PE(data=data, fast_load=True)
    pe.parse_data_directories(directories=[IMPORTS])
    imported = {entry.dll.decode("ascii").upper() for entry in
                getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    if imported - ALLOWED_DLLS:
        raise Refused("imports %s, which Windows may load from the program's folder; only "
                      "KnownDLLs and comctl32 may be imported" %
                      ", ".join(sorted(imported - ALLOWED_DLLS)))
    rva = load_config_address(map_text) - pe.OPTIONAL_HEADER.ImageBase
    offset = pe.get_offset_from_rva(rva)
    if offset is None or offset + 4 > len(data):
        raise Refused("_load_config_used has no bytes in the file")
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[LOAD_CONFIG]
    directory.VirtualAddress = rva
    directory.Size = struct.unpack_from("<I", data, offset)[0]
    pe = pefile.PE(data=bytes(pe.write()), fast_load=True)
    pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
    return bytes(pe.write())


def main(arguments):
    parser = argparse.ArgumentParser(prog="python3 -m tools.package.harden_executable",
                                     description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("executable", metavar="EXE")
    parser.add_argument("map_file", metavar="MAP")
    options = parser.parse_args(arguments)
    executable = options.executable
    try:
        with open(executable, "rb") as image, \
                open(options.map_file, encoding="utf-8") as linker_map:
            hardened = harden(image.read(), linker_map.read())
    except (Refused, pefile.PEFormatError) as problem:
        os.remove(executable)
        sys.exit("%s: %s; removed" % (executable, problem))
    with open(executable, "wb") as image:
        image.write(hardened)


if __name__ == "__main__":
    main(sys.argv[1:])
