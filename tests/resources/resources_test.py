#!/usr/bin/env python3
"""BIOSUpdate.exe of a product tree, read back from the file on the host: its exact texts in both
languages, window template, pictures, icon, version information, manifest and payload, a PE
header and imports that Windows XP accepts, and the load configuration that keeps the imports in
the system folder. Also the build around them: the generators write the same bytes every time,
configuring refuses a vendor payload folder that lacks a file, and the step after the link
refuses an import Windows may take from the program's folder.

Usage: resources_test.py <product tree> <stand-in SWinFlash.exe> <cmake> <scratch folder>"""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import unittest

import pefile

PRODUCT, STUB, CMAKE, WORK = sys.argv[1:5]
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
unittest.TestCase.maxDiff = None  # a failure shows the whole difference
EN, KO = 1033, 1042
RT_BITMAP, RT_ICON, RT_DIALOG, RT_STRING = 2, 3, 5, 6
RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 14, 16, 24

# Ids 129 to 143; 128 is absent from their string block.
TEXTS = [
    ("BIOS Update Program", "BIOS 업데이트 프로그램"),
    ("BIOS Update Status:", "BIOS 업데이트 진행 상황 :"),
    ("Loading BIOS update files. ", "BIOS 업데이트 할 파일을 로딩중 입니다."),
    ("Verifing your system BIOS version.", "시스템 BIOS 버전을 확인중 입니다"),
    ("Can not update BIOS update on your system", "현재 시스템에는 BIOS를 업데이트 할 수 없습니다."),
    ("Can not update BIOS update on your system", "현재 시스템에는 BIOS를 업데이트 할 수 없습니다."),
    ("Checking for BIOS update on your system", "BIOS 업데이트하기 위한 상태를 점검중 입니다."),
    ("Connect AC adapter and recharge Battery above 20% before execute intelligent update program",
     "전원 코드를 연결후 배터리양 20% 이상 충전후 BIOS 업데이트를 실행 하세요."),
    ("BIOS is updating now. This will take approximately 3 minutes to completion",
     "BIOS 업데이트를 수행중입니다. 업데이트 완료까지는 약 3분정도 소요 됩니다."),
    ("Initializing for BIOS update", "BIOS 업데이트하기 위한 준비 작업중 입니다."),
    ("You must close all the application now since the system will restart after BIOS update is "
     "completed.\nProceed BIOS update now?",
     "BIOS 업데이트 후 바로 시스템이 재시작되므로 작업하시는 모든 프로그램을 종료하셔야 합니다.\n"
     "지금 바로 BIOS 업데이트를 하시겠습니까?"),
    ("Connect AC adapter and recharge Battery above 20% before BIOS update.",
     "전원 코드를 연결한 상태에서 배터리양 20% 이상 상태에서 다시 BIOS 업데이트를 실행 하세요"),
    ("Target System BIOS is newer than the source System BIOS.",
     "현재 시스템 BIOS Version이 업데이트하려는 BIOS Version보다 최신 입니다."),
    ("Target System BIOS and source System BIOS are same Version.",
     "현재 시스템 BIOS Version과 업데이트하려는 BIOS Version이 동일 합니다."),
    ("Sorry, BIOS Update supports Windows XP only for system safety.",
     "BIOS 업데이트는 시스템 안전을 위해 Windows XP에서만 사용이 가능합니다."),
]
SCREEN_PALETTE = [(0, 0, 0), (32, 26, 21), (70, 70, 70), (45, 62, 210), (83, 101, 1), (178, 53, 5),
                  (126, 126, 126), (137, 146, 0), (94, 127, 252), (247, 107, 32), (141, 166, 255),
                  (142, 220, 4), (243, 188, 27), (188, 188, 188), (252, 252, 252), (255, 255, 255)]
ICON_PALETTE = [(0, 0, 0), (191, 0, 0), (0, 191, 0), (191, 191, 0), (0, 0, 191), (191, 0, 191),
                (0, 191, 191), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
                (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, LIGHT, DARK, MID = (0, 0, 0), (188,) * 3, (70,) * 3, (126,) * 3
# The progress block's palette indices, per row the three segments' (columns 0, 8 and 16 on).
BLOCK = [(3, 3, 3), (8, 8, 8), (10, 10, 10), (10, 10, 10), (8, 8, 10), (3, 8, 8), (3, 3, 8),
         (3, 3, 3), (3, 3, 3)]
PAYLOAD = {165: "SWinFlash.exe", 154: "mfc42.dll", 156: "msvcp60.dll", 157: "msvcrt.dll",
           158: "PHLASH.INI", 160: "PhlashLc.dll", 159: "Phlash9X.vxd", 161: "PhlashNT.sys",
           168: "mirtsf13.imc", 164: "WINPHLASH.GID"}
INI = "\r\n".join(["[UI]", "Advanced=1", ";DetectBitLocker=1", "", "[Main]", "RetryCount=3",
                   "UpdateMode=3", "FormatVersion=2", "UpdateFlags=802986", "UserFlags=802184",
                   "UserMask=d121a4", "PSIFlags=20", "UserMode=ffffffff", "BackupFile=bios.bak",
                   "ImageFile=915RomPack.ROM", "ShutDown=1"] + [""] * 17).encode()


class Pe:
    """A PE32 file's bytes, header fields, data directories ([(RVA, size)]), imports
    ({(DLL, function)}) and resources ({type: {name: {language: bytes}}}, ids as numbers, names as
    strings), read by pefile."""

    def __init__(self, path):
        self.data = read(path)
        self.pe = pefile.PE(data=self.data)
        optional = self.pe.OPTIONAL_HEADER
        self.directories = [(d.VirtualAddress, d.Size) for d in optional.DATA_DIRECTORY]
        self.header = (self.pe.NT_HEADERS.Signature.to_bytes(4, "little"),
                       self.pe.FILE_HEADER.Machine, optional.Magic,
                       (optional.MajorSubsystemVersion, optional.MinorSubsystemVersion),
                       optional.Subsystem, self.directories[13][0])
        self.imports = {(entry.dll.decode().upper(),
                         f"#{function.ordinal}" if function.import_by_ordinal
                         else function.name.decode())
                        for entry in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", [])
                        for function in entry.imports}
        resources = getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)
        self.resources = self.tree(resources) if resources else {}

    def offset(self, rva):
        return self.pe.get_offset_from_rva(rva)

    def tree(self, directory):
        found = {}
        for entry in directory.entries:
            name = entry.id if entry.name is None else str(entry.name)
            if hasattr(entry, "directory"):
                found[name] = self.tree(entry.directory)
            else:
                found[name] = self.pe.get_data(entry.data.struct.OffsetToData,
                                               entry.data.struct.Size)
        return found


def pixels(dib, rows):
    """The pixels of a bottom-up DIB from the top, by rows: palette indices or (r, g, b)."""
    _, width, height, _, bits = struct.unpack_from("<IiiHH", dib)
    start, stride = 40 + (64 if bits == 4 else 0), (width * bits + 31) // 32 * 4
    for y in rows:
        row = dib[start + (height - 1 - y) * stride:]
        yield [row[x // 2] >> (0 if x % 2 else 4) & 15 if bits == 4 else
               (row[3 * x + 2], row[3 * x + 1], row[3 * x]) for x in range(width)]


def palette(dib):
    return [(dib[i + 2], dib[i + 1], dib[i]) for i in range(40, 40 + 64, 4)]


def lower_screen_pixel(x, y):
    """From row 300 down black, but for the progress frame (x 255 to 380, y 351 to 365), here by
    distance from its nearest outer edges."""
    side, edge = min(x - 255, 380 - x), min(y - 351, 365 - y)
    if side < 0 or edge < 0:
        return BLACK
    if side < 3 and edge < 3:
        return [[BLACK, BLACK, MID], [BLACK, MID, DARK], [MID, DARK, BLACK]][edge][side]
    return [LIGHT, DARK, BLACK][min(side, edge, 2)]


def version_nodes(data, at, path, found):
    """Adds the VS_VERSIONINFO node at `at` and its children to found ({path: value}); returns
    where the node ends."""
    size, value_size, is_text = struct.unpack_from("<3H", data, at)
    key_end = next(i for i in range(at + 6, at + size, 2) if data[i:i + 2] == b"\0\0")
    path += "/" + data[at + 6:key_end].decode("utf-16-le")
    value = (key_end + 5) & ~3
    end = value + value_size * (2 if is_text else 1)
    found[path] = data[value:end].decode("utf-16-le").rstrip("\0") if is_text else data[value:end]
    child = (end + 3) & ~3
    while child < at + size:
        child = (version_nodes(data, child, path, found) + 3) & ~3
    return at + size


def configure_payload(vendor):
    build = os.path.join(WORK, "configure")
    shutil.rmtree(build, ignore_errors=True)
    project = os.path.join(SOURCE, "tests/resources/payload_configuration")
    return subprocess.run([CMAKE, "-S", project, "-B", build, f"-DBIOSUPDATE_SOURCE_DIR={SOURCE}",
                           f"-DBIOSUPDATE_VENDOR_PAYLOAD={vendor}"], capture_output=True, text=True)


def cache_value(name, tree=PRODUCT):
    with open(os.path.join(tree, "CMakeCache.txt"), encoding="utf-8") as cache:
        return re.search(rf"^{name}:\w+=(.*)$", cache.read(), re.M).group(1)


def read(path):
    with open(path, "rb") as file:
        return file.read()


def digest(data):
    return hashlib.sha256(data).hexdigest()


class Program(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = Pe(os.path.join(PRODUCT, "BIOSUpdate.exe"))
        cls.res = cls.pe.resources

    def test_strings_are_exact_in_english_and_korean(self):
        found = {}
        for language, block in self.res[RT_STRING][9].items():  # ids 128 to 143
            found[language] = []
            for _ in range(16):
                length = struct.unpack_from("<H", block)[0]
                found[language].append(block[2:2 + 2 * length].decode("utf-16-le"))
                block = block[2 + 2 * length:]
        self.assertEqual(found, {EN: [""] + [english for english, _ in TEXTS],
                                 KO: [""] + [korean for _, korean in TEXTS]})

    def test_window_template_has_every_field_in_both_languages(self):
        def template(charset, face):
            return struct.pack("<HHIIIH4h3HHHBB", 1, 0xFFFF, 0, 0x40000, 0x90000040, 0, 0, 0, 301,
                               49, 0, 0, 0, 8, 400, 0, charset) + (face + "\0").encode("utf-16-le")
        self.assertEqual(self.res[RT_DIALOG][102],
                         {EN: template(0, "Tahoma"), KO: template(129, "굴림")})

    def bitmap(self, number, width, height, bits):
        """The bitmap's one version, Korean: an uncompressed bottom-up DIB; a 4-bit one has the
        screens' palette."""
        self.assertEqual(list(self.res[RT_BITMAP][number]), [KO])
        dib = self.res[RT_BITMAP][number][KO]
        self.assertEqual(struct.unpack_from("<IiiHHI", dib), (40, width, height, 1, bits, 0))
        if bits == 4:
            self.assertEqual(palette(dib), SCREEN_PALETTE, number)
        return dib

    def test_screens_keep_the_band_black_and_draw_the_frame_pixel_for_pixel(self):
        for number, bits in (135, 24), (134, 4), (131, 4):
            rows = pixels(self.bitmap(number, 640, 480, bits), range(300, 480))
            if bits == 4:
                rows = ([SCREEN_PALETTE[index] for index in row] for row in rows)
            wrong = [(x, y, colour) for y, row in enumerate(rows, 300)
                     for x, colour in enumerate(row) if colour != lower_screen_pixel(x, y)]
            self.assertEqual(wrong[:5], [], f"bitmap {number}: (x, y, colour)")

    def test_progress_block_is_three_blue_segments_pixel_for_pixel(self):
        self.assertEqual(list(pixels(self.bitmap(132, 22, 9, 4), range(9))),
                         [[a] * 6 + [0, 0] + [b] * 6 + [0, 0] + [c] * 6 for a, b, c in BLOCK])

    def test_icon_is_one_32x32_16_colour_image_with_a_mask(self):
        size = 40 + 64 + 32 * 16 + 32 * 4  # header, palette, 4-bit pixels, 1-bit mask
        self.assertEqual(list(self.res[RT_GROUP_ICON][128]), [KO])
        *entry, image_id = struct.unpack("<3H4B2HIH", self.res[RT_GROUP_ICON][128][KO])
        self.assertEqual(entry, [0, 1, 1, 32, 32, 16, 0, 1, 4, size])
        image = self.res[RT_ICON][image_id][KO]
        self.assertEqual((struct.unpack_from("<IiiHHI", image), len(image)),
                         ((40, 32, 64, 1, 4, 0), size))
        self.assertEqual(palette(image), ICON_PALETTE)
        self.assertTrue(any(image[-128:]), "nothing transparent")

    def test_version_information(self):
        self.assertEqual((list(self.res[RT_VERSION]), list(self.res[RT_VERSION][1])), ([1], [EN]))
        info = {}
        version_nodes(self.res[RT_VERSION][1][EN], 0, "", info)
        fixed = struct.unpack("<13I", info.pop("/VS_VERSION_INFO"))
        # Signature, file and product version 1.1508.312.1, flag mask and flags, VOS__WINDOWS32,
        # VFT_APP, subtype, date.
        self.assertEqual(fixed[:1] + fixed[2:], (0xFEEF04BD, 1 << 16 | 1508, 312 << 16 | 1,
                                                 1 << 16 | 1508, 312 << 16 | 1, 0x3F, 0, 4, 1, 0,
                                                 0, 0))
        strings = "/VS_VERSION_INFO/StringFileInfo/040904e4/"
        self.assertTrue(info.pop(strings + "CompanyName") and info.pop(strings + "LegalCopyright"))
        self.assertEqual({path: value for path, value in info.items() if value}, {
            strings + "FileDescription": "BIOS Update Program",
            strings + "FileVersion": "1, 1508, 312, 1",
            strings + "InternalName": "BIOSUpdate.exe",
            strings + "ProductName": "BIOS Update",
            strings + "ProductVersion": "1, 1508, 312, 1",
            "/VS_VERSION_INFO/VarFileInfo/Translation": struct.pack("<HH", 0x409, 0x4E4)})

    def test_manifest_asks_for_common_controls_6_and_no_execution_level(self):
        self.assertEqual((list(self.res[RT_MANIFEST]), list(self.res[RT_MANIFEST][1])), ([1], [EN]))
        text = self.res[RT_MANIFEST][1][EN].decode()
        program, controls = [dict(re.findall(r'(\w+)="([^"]*)"', attributes))
                             for attributes in re.findall(r"<assemblyIdentity([^>]*)/>", text)]
        self.assertEqual((program["type"], program["version"], program["processorArchitecture"]),
                         ("win32", "1.0.0.0", "X86"))
        self.assertEqual(controls, {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                                    "version": "6.0.0.0", "processorArchitecture": "X86",
                                    "publicKeyToken": "6595b64144ccf1df", "language": "*"})
        self.assertNotIn("requestedExecutionLevel", text)

    def test_payload_is_every_embedded_file_unchanged_in_korean(self):
        folder = cache_value("BIOSUPDATE_EMBEDDED_PAYLOAD_DIR")
        files = {**PAYLOAD, 168: cache_value("BIOSUPDATE_IMAGE_NAME")}
        self.assertEqual({name: {language: digest(data) for language, data in versions.items()}
                          for name, versions in self.res["FILE"].items()},
                         {name: {KO: digest(read(os.path.join(folder, file_name)))}
                          for name, file_name in files.items()})
        self.assertEqual(self.res["FILE"][158][KO], INI)
        self.assertEqual(len(INI), 271)

    def test_xp_runs_it_and_the_profiler_shipped_with_it_and_has_every_import(self):
        lines = read(os.path.join(SOURCE, "tests/resources/xp_imports.txt")).decode().splitlines()
        allowed = {tuple(line.split()) for line in lines if line.strip()[:1] not in ("", "#")}
        for pe in self.pe, Pe(os.path.join(PRODUCT, "tools", "profiler", "profiler.exe")):
            # "PE", i386, PE32, subsystem 5.01, GUI, no delayed imports (they would escape the
            # list).
            self.assertEqual(pe.header, (b"PE\0\0", 0x14C, 0x10B, (5, 1), 2, 0))
            self.assertEqual(pe.imports - allowed, set(), "not in xp_imports.txt: check that "
                             "Windows XP has it, then add it")

    def test_load_configuration_keeps_the_imports_in_the_system_folder_and_suits_xp(self):
        # Windows 10 1607 and later resolve the imports with DependentLoadFlags (at 0x36):
        # LOAD_LIBRARY_SEARCH_SYSTEM32. XP's loader wants the directory 64 bytes long; the
        # structure says the same of itself.
        rva, size = self.pe.directories[10]
        self.assertNotEqual(rva, 0, "no load-configuration directory")
        at = self.pe.offset(rva)
        self.assertEqual((size, struct.unpack_from("<I", self.pe.data, at)[0],
                          struct.unpack_from("<H", self.pe.data, at + 0x36)[0]), (64, 64, 0x800))
        # The directory was pointed after the link: the checksum must cover the change.
        self.assertEqual(self.pe.pe.OPTIONAL_HEADER.CheckSum, self.pe.pe.generate_checksum())

    def test_the_build_refuses_an_import_windows_may_take_from_the_programs_folder(self):
        # The step after the link, run again on copies: the shipped file passes it unchanged; with
        # SHLWAPI.dll renamed to VERSION.dll in its imports (no KnownDLL on XP) it is refused and
        # removed.
        shipped = os.path.join(PRODUCT, "BIOSUpdate.exe")
        for dll, refused in (b"SHLWAPI.dll", False), (b"VERSION.dll", True):
            with self.subTest(dll=dll):
                os.makedirs(WORK, exist_ok=True)
                copy = os.path.join(WORK, "BIOSUpdate.exe")
                with open(copy, "wb") as handle:
                    handle.write(self.pe.data.replace(b"SHLWAPI.dll\0", dll + b"\0"))
                result = subprocess.run(
                    [sys.executable, "-m", "tools.package.harden_executable", copy,
                     os.path.join(PRODUCT, "BIOSUpdate.map")], cwd=SOURCE, capture_output=True,
                    text=True)
                self.assertEqual(result.returncode != 0, refused, result.stderr)
                if refused:
                    self.assertIn("imports VERSION.DLL", result.stderr)
                    self.assertFalse(os.path.exists(copy))
                else:
                    self.assertEqual(digest(read(copy)), digest(read(shipped)))

    def test_stand_in_flash_utility_imports_kernel32_alone(self):
        # It runs beside placeholder "msvcrt.dll" and "mfc42.dll" that would be loaded instead.
        self.assertEqual({dll for dll, _ in Pe(STUB).imports}, {"KERNEL32.DLL"})


class Build(unittest.TestCase):
    def test_generators_write_the_same_bytes_every_time(self):
        runs = []
        for run in ("first", "second"):
            folder = os.path.join(WORK, run)
            shutil.rmtree(folder, ignore_errors=True)
            for script, *names in [("generate_artwork",),
                                   ("generate_payload", "PHLASH.INI", "mirtsf13.imc", "mfc42.dll")]:
                subprocess.run([sys.executable, "-m", f"tools.assets.{script}", folder, *names],
                               cwd=SOURCE, check=True)
            runs.append({name: digest(read(os.path.join(folder, name)))
                         for name in os.listdir(folder)})
        self.assertEqual(runs[0], runs[1])
        self.assertEqual(len(runs[0]), 8)

    def test_configuring_refuses_a_vendor_folder_lacking_a_file_and_names_it(self):
        vendor = os.path.join(WORK, "vendor")
        shutil.rmtree(vendor, ignore_errors=True)
        os.makedirs(os.path.join(vendor, "PHLASH.INI"))  # a folder is no file
        for name in set(PAYLOAD.values()) - {"PHLASH.INI", "mirtsf13.imc"}:
            open(os.path.join(vendor, name), "w").close()
        result = configure_payload(vendor)
        missing = re.search(r"lacks these payload files: ((?:[\w.]+, )*[\w.]+)",
                            " ".join(result.stderr.split()))
        self.assertNotEqual(result.returncode, 0)
        self.assertEqual(sorted(missing.group(1).split(", ")), ["PHLASH.INI", "mirtsf13.imc"])
        os.rmdir(os.path.join(vendor, "PHLASH.INI"))
        for name in ("PHLASH.INI", "mirtsf13.imc"):
            open(os.path.join(vendor, name), "w").close()
        self.assertEqual(configure_payload(vendor).returncode, 0)
        self.assertEqual(cache_value("BIOSUPDATE_EMBEDDED_PAYLOAD_DIR",
                                     os.path.join(WORK, "configure")), vendor)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
