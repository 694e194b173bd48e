"""The end-to-end runner's own parts: registry files, the driver log, the simulated machine's
files, prefix paths, option checking and the report's accessors. Platform-free: no Wine."""

import os
import tempfile
import time
import unittest
from unittest import mock

import driver_log
import fake_sysfs
import machine
import reg_file
import session
import wine_prefix
import wine_trace
from report import Report

WINE_SYSTEM_REG = r'''WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win32

[Software\\Microsoft\\Windows\\CurrentVersion] 1733519999
#time=1db4808a2c0e3a2
"CommonFilesDir"="C:\\Program Files\\Common Files"
"ProgramFilesDir"="C:\\Program Files"

[Software\\Microsoft\\Windows\\CurrentVersion\\Run] 1733520000
"BIOSUpdate"="\"C:\\e2e\\BIOSUpdate.exe\" 1"
@="default"

[Software\\Tamrel\\Odd \] name] 1733520001
"expand"=str(2):"%SystemRoot%\\x"
"multi"=str(7):"one\0two\0"
"count"=dword:0000002a
"blob"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\
  17,18,19
"odd"=hex(1):41,00,42,00
"korean"="\xbc84\xc804 \x4e2d1 tab\tquote\" octal\101"
"empty"=hex:
'''


class RegistryFiles(unittest.TestCase):
    def setUp(self):
        self.keys = reg_file.parse_reg_file(WINE_SYSTEM_REG)

    def value(self, key, name):
        return reg_file.find_value(self.keys, key, name)

    def test_string_values_carry_their_terminating_nul(self):
        value = self.value(r"Software\Microsoft\Windows\CurrentVersion\Run", "BIOSUpdate")
        self.assertEqual(value.type_name, "REG_SZ")
        self.assertEqual(value.text(), '"C:\\e2e\\BIOSUpdate.exe" 1')
        self.assertEqual(value.data, ('"C:\\e2e\\BIOSUpdate.exe" 1\0').encode("utf-16-le"))

    def test_lookups_ignore_case(self):
        self.assertEqual(self.value(r"SOFTWARE\MICROSOFT\windows\currentversion",
                                    "programfilesdir").text(), r"C:\Program Files")
        self.assertIsNone(self.value(r"Software\Microsoft\Windows\CurrentVersion", "Missing"))
        self.assertIsNone(self.value(r"Software\Nowhere", "ProgramFilesDir"))

    def test_every_data_format(self):
        key = r"Software\Tamrel\Odd ] name"
        cases = [
            ("expand", 2, ("%SystemRoot%\\x\0").encode("utf-16-le")),
            ("multi", 7, "one\0two\0\0".encode("utf-16-le")),
            ("count", 4, (42).to_bytes(4, "little")),
            ("blob", 3, bytes(range(26))),
            ("odd", 1, b"A\0B\0"),
            ("empty", 3, b""),
            ("", None, None),
        ]
        for name, type_code, data in cases:
            with self.subTest(name=name):
                value = self.value(key, name)
                if type_code is None:
                    self.assertIsNone(value)
                    continue
                self.assertEqual(value.type_code, type_code)
                self.assertEqual(value.data, data)
        self.assertEqual(self.value(r"Software\Microsoft\Windows\CurrentVersion\Run", "").text(),
                         "default")

    def test_escapes(self):
        value = self.value(r"Software\Tamrel\Odd ] name", "korean")
        self.assertEqual(value.text(), "\ubc84\uc804 \u4e2d1 tab\tquote\" octalA")

    def test_json_form(self):
        self.assertEqual(self.value(r"Software\Tamrel\Odd ] name", "count").to_json(),
                         {"type": "REG_DWORD", "type_code": 4, "hex": "2a000000", "dword": 42})
        self.assertEqual(self.value(r"Software\Tamrel\Odd ] name", "odd").to_json()["string"],
                         "AB")

    def test_damaged_files_are_refused(self):
        for text in ['"orphan"="value"\n', '[Key] 1\n"name" "value"\n', '[Key] 1\n"x"=weird:1\n',
                     '[Key] 1\n"x"="unterminated\n', '[Key] 1\n"x"=hex:zz\n', '[Key 1\n']:
            with self.subTest(text=text):
                with self.assertRaises(reg_file.RegFileError):
                    reg_file.parse_reg_file(text)


DRIVER_LOG = "\n".join([
    "5\tdriver\tscreen=1024x768\tlcid=0x412\tacp=949\tband_top=300\ttick=70000",
    "6\tstring\tid=138\ttext=Initializing for BIOS update",
    "10\tlaunch\trole=first\tpid=32\tcommand=\"C:\\\\e2e\\\\BIOSUpdate.exe\"",
    "110\twindow\trole=first\thwnd=0x1004c\tclass=#32770\ttitle=BIOS update\trect=374,329,649,438"
    "\tstyle=0x94c801c4\texstyle=0x10101\tvisible=1",
    "110\tmsgbox\trole=first\thwnd=0x1004c\tcaption=BIOS update\ttext=line one\\nline two"
    "\tbuttons=YES,NO\tdefault=YES\ticon=0",
    "120\twindow\trole=first\thwnd=0x10050\tclass=#32770\ttitle=BIOS Update Program"
    "\trect=0,0,452,74\tstyle=0x8c000044\texstyle=0x40000\tvisible=0",
    "360\tpress\trole=first\thwnd=0x1004c\tbutton=YES\tok=1",
    "400\twindow_gone\trole=first\thwnd=0x1004c",
    "400\tmsgbox_gone\trole=first\thwnd=0x1004c",
    "450\twindow\trole=first\thwnd=0x10050\tclass=#32770\ttitle=BIOS Update Program"
    "\trect=0,0,1024,768\tstyle=0x9c000044\texstyle=0x88\tvisible=1",
    "2800\tstatus\tstate=text\tid=138\ttext=Initializing for BIOS update\tmatch=exact"
    "\tdiffering=0\tmismatched=0",
    # Written late: a status first seen earlier than the line before it.
    "2790\tstatus\tstate=unknown\tlit=300",
    "6000\tstatus\tstate=text\tid=131\ttext=Loading BIOS update files. \tmatch=tolerance"
    "\tdiffering=3\tmismatched=0",
    "2900\tclose\trole=first\thwnd=0x10050\tok=1",
    "2930\tclose\trole=first\thwnd=0x10050\tok=0",
    "6500\tstatus\tstate=text\tid=138\ttext=Initializing for BIOS update\tmatch=exact"
    "\tdiffering=0\tmismatched=0",
    "9010\texit\trole=first\tpid=32\tcode=0",
    "9040\tend",
]) + "\n"


class DriverLog(unittest.TestCase):
    def setUp(self):
        self.summary = driver_log.summarize(DRIVER_LOG)

    def test_times_count_from_the_program_start(self):
        first = self.summary["instances"]["first"]
        self.assertEqual(first["launched_ms"], 0)
        self.assertEqual(first["exit_code"], 0)
        self.assertEqual(first["exited_ms"], 9000)
        self.assertTrue(self.summary["complete"])
        self.assertEqual(self.summary["driver"]["band_top"], "300")
        self.assertEqual(self.summary["strings"]["138"], "Initializing for BIOS update")

    def test_message_box_with_its_answer(self):
        (box,) = self.summary["message_boxes"]
        self.assertEqual(box, {"role": "first", "caption": "BIOS update",
                               "text": "line one\nline two", "buttons": ["YES", "NO"],
                               "default": "YES", "icon": False, "appeared_ms": 100,
                               "pressed": "YES", "pressed_ms": 350, "closed_ms": 390})

    def test_windows_keep_every_look_they_had(self):
        box, status = self.summary["windows"]
        self.assertEqual(box["gone_ms"], 390)
        self.assertIsNone(status["gone_ms"])
        hidden, shown = status["states"]
        self.assertEqual((hidden["visible"], hidden["appwindow"], hidden["toolwindow"]),
                         (False, True, False))
        self.assertEqual((shown["visible"], shown["topmost"], shown["toolwindow"],
                          shown["appwindow"]), (True, True, True, False))
        self.assertEqual(shown["rect"], [0, 0, 1024, 768])
        self.assertEqual(shown["ms"], 440)

    def test_status_texts_in_order_of_first_sighting(self):
        timeline = self.summary["status_timeline"]
        self.assertEqual([e["ms"] for e in timeline], [2780, 2790, 5990, 6490])
        self.assertEqual(timeline[0]["state"], "unknown")
        self.assertEqual(timeline[2]["match"], "tolerance")
        self.assertEqual(self.summary["status_texts"], [
            {"id": 138, "text": "Initializing for BIOS update", "first_ms": 2790},
            {"id": 131, "text": "Loading BIOS update files. ", "first_ms": 5990}])

    def test_close_requests_and_the_trace_clock(self):
        self.assertEqual(self.summary["close_requests"], [2890])
        # The driver's line at 5 ms read the tick 70000; the program started 5 ms later.
        self.assertEqual(self.summary["launch_tick"], 70005)

    def test_a_log_cut_short_is_not_complete(self):
        cut = DRIVER_LOG[:DRIVER_LOG.index("9010")]
        summary = driver_log.summarize(cut)
        self.assertFalse(summary["complete"])
        self.assertIsNone(summary["instances"]["first"]["exit_code"])

    def test_value_escapes(self):
        for escaped, plain in [("a\\tb", "a\tb"), ("C:\\\\x", "C:\\x"), ("1\\n2\\r", "1\n2\r"),
                               ("odd\\q", "odd\\q"), ("end\\", "end\\")]:
            self.assertEqual(driver_log.unescape_value(escaped), plain)

    def test_malformed_lines_are_refused(self):
        for text in ["garbage\n", "12\n", "12\tmsgbox\tno-equals-sign\n"]:
            with self.assertRaises(driver_log.DriverLogError):
                driver_log.summarize(text)


class SimulatedMachine(unittest.TestCase):
    def charge_percent(self, files):
        # Wine's reading: remaining / full capacity, both weighted by the voltage.
        return 100 * files["BAT0/charge_now"] // files["BAT0/charge_full"]

    def test_ac_line_values(self):
        for ac, online in [("on", 1), ("off", 0), ("unknown", 255)]:
            self.assertEqual(fake_sysfs.power_files(ac, None)["AC/online"], online)

    def test_battery_charges(self):
        for percent in [0, 19, 20, 55, 100]:
            with self.subTest(percent=percent):
                files = fake_sysfs.power_files("on", percent)
                self.assertEqual(self.charge_percent(files), percent)
                self.assertEqual(files["BAT0/capacity"], percent)
                self.assertEqual(files["BAT0/present"], 1)

    def test_no_battery_writes_no_battery(self):
        self.assertFalse([n for n in fake_sysfs.power_files("on", None) if n.startswith("BAT")])

    def test_bad_machines_are_refused(self):
        for ac, battery in [("maybe", 50), ("on", 101), ("on", -1), ("on", "50"), ("on", 2.5)]:
            with self.assertRaises(ValueError):
                fake_sysfs.power_files(ac, battery)

    def test_files_land_where_wine_reads_them(self):
        with tempfile.TemporaryDirectory() as root:
            fake_sysfs.write_machine_files(root, "off", 19, "MIRTSF12")
            with open(os.path.join(root, "dmi", "id", "bios_version")) as handle:
                self.assertEqual(handle.read(), "MIRTSF12\n")
            with open(os.path.join(root, "power_supply", "AC", "online")) as handle:
                self.assertEqual(handle.read(), "0\n")
            with open(os.path.join(root, "power_supply", "BAT0", "status")) as handle:
                self.assertEqual(handle.read(), "Discharging\n")
            self.assertTrue(os.path.exists(os.path.join(root, "dmi", "id", "sys_vendor")))


class PrefixPaths(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory()
        self.prefix = self.temp.name
        os.makedirs(os.path.join(self.prefix, "drive_c", "Program Files", "BIOSUPDATE"))
        os.makedirs(os.path.join(self.prefix, "dosdevices"))
        os.symlink("../drive_c", os.path.join(self.prefix, "dosdevices", "c:"))

    def tearDown(self):
        self.temp.cleanup()

    def test_existing_names_match_without_case(self):
        self.assertEqual(wine_prefix.unix_path(self.prefix, r"c:\PROGRAM FILES\biosupdate\x.txt"),
                         os.path.join(os.path.realpath(self.prefix), "drive_c", "Program Files",
                                      "BIOSUPDATE", "x.txt"))

    def test_new_names_keep_their_spelling(self):
        self.assertTrue(wine_prefix.unix_path(self.prefix, r"C:\New Dir\File.TXT")
                        .endswith(os.path.join("drive_c", "New Dir", "File.TXT")))

    def test_relative_paths_are_refused(self):
        for path in [r"relative\path", r"\rooted", "CC:\\x", r"D:\no such drive"]:
            with self.assertRaises(ValueError):
                wine_prefix.unix_path(self.prefix, path)

    def test_only_stale_run_folders_are_removed(self):
        runs = os.path.join(self.prefix, "runs")
        for name in ["run-old", "run-new", "other-old"]:
            os.makedirs(os.path.join(runs, name))
        day_ago = time.time() - wine_prefix.STALE_RUN_SECONDS - 60
        for name in ["run-old", "other-old"]:
            os.utime(os.path.join(runs, name), (day_ago, day_ago))
        wine_prefix.remove_stale_runs(runs)
        self.assertEqual(sorted(os.listdir(runs)), ["other-old", "run-new"])

    def test_registry_import_text(self):
        text = wine_prefix.registry_import_text({
            (r"HKEY_LOCAL_MACHINE\Software\A", "Path"): 'C:\\x "y"',
            (r"HKEY_LOCAL_MACHINE\Software\A", "Count"): 10,
            (r"HKEY_LOCAL_MACHINE\Software\A", ""): b"\x01\xff",
            (r"HKEY_USERS\.DEFAULT\Software\B", "Gone"): None})
        self.assertEqual(text.split("\r\n"), [
            "Windows Registry Editor Version 5.00", "",
            r"[HKEY_LOCAL_MACHINE\Software\A]", r'"Path"="C:\\x \"y\""', '"Count"=dword:0000000a',
            "@=hex:01,ff", "", r"[HKEY_USERS\.DEFAULT\Software\B]", '"Gone"=-', "", ""])
        for bad in [True, 1.5, ["list"]]:
            with self.assertRaises(ValueError):
                wine_prefix.registry_import_text({("HKLM\\A", "x"): bad})

    def test_files_left_in_the_prefix_are_described_with_their_sizes(self):
        folder = os.path.join(self.prefix, "drive_c", "Program Files", "BIOSUPDATE")
        os.makedirs(os.path.join(folder, "sub"))
        with open(os.path.join(folder, "BIOS.bak"), "wb") as handle:
            handle.write(b"12345")
        with open(os.path.join(folder, "sub", "inner.txt"), "wb") as handle:
            handle.write(b"x")
        run = session.Run({})
        run.prefix = self.prefix
        self.assertEqual(run.describe_path(r"C:\Program Files\BIOSUPDATE"), {
            "exists": True, "dir": True,
            "entries": {"BIOS.bak": 5, "sub": "dir", "sub\\inner.txt": 1}})
        self.assertEqual(run.describe_path(r"C:\Program Files\BIOSUPDATE\bios.BAK"),
                         {"exists": True, "dir": False, "size": 5})
        self.assertEqual(run.describe_path(r"C:\Program Files\Gone"), {"exists": False})

    def test_registry_roots(self):
        self.assertEqual(session._split_root(r"HKLM\Software\X"), ("HKEY_LOCAL_MACHINE",
                                                                   r"Software\X"))
        self.assertEqual(session._split_root(r"HKEY_USERS\.DEFAULT\Software\Tamrel"),
                         ("HKEY_USERS\\.DEFAULT", r"Software\Tamrel"))
        self.assertEqual(session._split_root(r"hkcu\Software"), ("HKEY_CURRENT_USER", "Software"))
        with self.assertRaises(ValueError):
            session._split_root(r"HKEY_USERS\S-1-5-18\Software")


class Options(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory()
        self.exe = os.path.join(self.temp.name, "BIOSUpdate.exe")
        self.driver = os.path.join(self.temp.name, "uidriver.exe")
        for path in (self.exe, self.driver):
            with open(path, "wb") as handle:
                handle.write(b"MZ")

    def tearDown(self):
        self.temp.cleanup()

    def config(self, **options):
        return machine.build_config(self.exe, driver=self.driver, cache=self.temp.name, **options)

    def test_the_machine_is_carried_into_the_configuration(self):
        config = self.config(ac="unknown", battery=None, locale="ko", args=" 1",
                             files={r"C:\a\b.txt": "text", r"C:\a\c.bin": b"\x00\x01"},
                             registry=[(r"HKLM\Software\X", "n", 5)],
                             second_instance={"args": "1", "stop_first_after": True},
                             screenshots=[1000, "status:138", "msgbox:BIOS update"])
        self.assertEqual((config["ac"], config["battery"], config["locale"], config["args"]),
                         ("unknown", None, "ko", " 1"))
        self.assertEqual(config["files"], {r"C:\a\b.txt": "dGV4dA==", r"C:\a\c.bin": "AAE="})
        self.assertEqual(config["registry"], [[r"HKLM\Software\X", "n", {"dword": 5}]])
        self.assertEqual(config["second"], {"args": "1", "at": "question",
                                            "stop_first_after": True})

    def test_bad_options_are_refused_before_anything_runs(self):
        bad = [dict(answer="maybe"), dict(locale="fr"), dict(ac="dc"), dict(battery=120),
               dict(other_boxes="cancel"), dict(timeout=0), dict(screen=(100, 100)),
               dict(program_files="Programs"), dict(files={"relative.txt": "x"}),
               dict(files={r"C:\x": 5}), dict(dirs=["D:relative"]),
               dict(registry=[("HKLM\\X", "n")]), dict(registry=[("HKLM\\X", "n", 1.5)]),
               dict(second_instance={"at": "later"}), dict(screenshots=["sometime"]),
               dict(screenshots=["status:137+soon"]), dict(collect=["stub.txt"]),
               dict(wine_debug="+msg warn"), dict(wine_debug=""),
               dict(close_during_status=128), dict(close_during_status=True),
               dict(close_during_status="138")]
        for options in bad:
            with self.subTest(options=options):
                with self.assertRaises(ValueError):
                    self.config(**options)

    def test_without_root_the_runner_says_why(self):
        with mock.patch("os.geteuid", return_value=1000):
            with self.assertRaisesRegex(machine.E2EError, "must run as root"):
                machine.run_machine(self.exe, driver=self.driver, cache=self.temp.name)

    def test_missing_programs_are_named(self):
        with self.assertRaisesRegex(machine.E2EError, "program to run is missing"):
            machine.build_config(os.path.join(self.temp.name, "none.exe"), driver=self.driver)
        with self.assertRaisesRegex(machine.E2EError, "uidriver.exe is missing"):
            machine.build_config(self.exe, driver=os.path.join(self.temp.name, "none.exe"))


class ReportAccessors(unittest.TestCase):
    def report(self):
        full = {"ms": 400, "visible": True, "rect": [0, 0, 1024, 768]}
        small = {"ms": 100, "visible": True, "rect": [300, 300, 600, 400]}
        hidden_full = {"ms": 100, "visible": False, "rect": [0, 0, 1024, 768]}
        return Report({
            "driver": {"screen": "1024x768"},
            "ended": {"how": "timeout", "exit_code": None, "after_ms": 8000},
            "windows": [{"role": "first", "states": [small, full]},
                        {"role": "first", "states": [hidden_full]},
                        {"role": "second", "states": [full]}],
            "message_boxes": [{"role": "first", "caption": "BIOS update"},
                              {"role": "second", "caption": "BIOS update"},
                              {"role": "first", "caption": "BIOS Update"}],
            "status_texts": [{"id": 138}, {"id": 131}]})

    def test_accessors(self):
        report = self.report()
        self.assertTrue(report.timed_out)
        self.assertIsNone(report.exit_code)
        self.assertEqual(len(report.fullscreen_windows()), 1)
        self.assertEqual(len(report.fullscreen_windows("second")), 1)
        self.assertEqual(len(report.windows(visible_only=True)), 1)
        self.assertEqual(len(report.boxes("BIOS update")), 1)
        self.assertEqual(len(report.boxes("BIOS update", role="second")), 1)
        self.assertEqual(report.status_ids, [138, 131])

    def test_screenshot_triggers(self):
        events = list(driver_log.parse_lines(DRIVER_LOG))
        due = session.Screenshots._due
        self.assertTrue(due(100, 150, events))
        self.assertFalse(due(200, 150, events))
        self.assertTrue(due("status:131", 0, events))
        self.assertFalse(due("status:137", 0, events))
        # 131 was first seen 5990 ms after the program's start.
        self.assertFalse(due("status:131+1000", 6989, events))
        self.assertTrue(due("status:131+1000", 6990, events))
        self.assertFalse(due("status:137+0", 99999, events))
        self.assertTrue(due("msgbox", 0, events))
        self.assertTrue(due("msgbox:BIOS update", 0, events))
        self.assertFalse(due("msgbox:BIOS Update", 0, events))


class WineTrace(unittest.TestCase):
    def test_lines_of_the_program_are_placed_on_the_report_clock(self):
        output = "\n".join([
            "uidriver: a message of the driver itself",
            "70012.034:00fc:0100:trace:msg:NtUserSetTimer Added 0x1005a f5f (nil) timeout 3000",
            "70100.000:0110:0114:fixme:ole:CoInitializeSecurity stub: a:b",
            "0100:trace:msg:a line without time or process",
            "70100.5:0110:0114:err:x:a time without its milliseconds",
        ])
        self.assertEqual(wine_trace.parse(output, launch_tick=70000000), [
            {"ms": 12034, "pid": 0xfc, "tid": 0x100, "class": "trace", "channel": "msg",
             "text": "NtUserSetTimer Added 0x1005a f5f (nil) timeout 3000"},
            {"ms": 100000, "pid": 0x110, "tid": 0x114, "class": "fixme", "channel": "ole",
             "text": "CoInitializeSecurity stub: a:b"}])
        self.assertIsNone(wine_trace.parse(output, launch_tick=None)[0]["ms"])

    def test_the_channels_always_carry_time_and_process(self):
        self.assertEqual(wine_trace.channels("+msg,+process"), "+timestamp,+pid,+msg,+process")


if __name__ == "__main__":
    unittest.main()
