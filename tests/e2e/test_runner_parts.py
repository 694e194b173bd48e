"""The runner's readings that the end-to-end checks stand on: the registry files Wine saves, the
driver's log (message boxes, status band, close requests and the answers to other messages) and
Wine's trace on the report's clock; and the run's options, refused before a run when wrong.
Platform-free: no Wine."""

import os
import subprocess
import sys
import tempfile
import time
import unittest

from tools import ROOT
from tools.e2e import driver_log, phases, reg_file, runner, session, wine_prefix, wine_trace

WINE_SYSTEM_REG = r'''WINE REGISTRY Version 2
;; All keys relative to \\Machine

[Software\\Microsoft\\Windows\\CurrentVersion\\Run] 1733520000
#time=1db4808a2c0e3a2
"BIOSUpdate"="\"C:\\e2e\\BIOSUpdate.exe\" 1"

[Software\\Tamrel\\Odd \] name] 1733520001
"count"=dword:0000002a
"blob"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\
  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,30,\
  31,32
"korean"="\xbc84\xc804 tab\tquote\" octal\101"
'''

DRIVER_LOG = "\n".join([
    "5\tdriver\tscreen=1024x768\tlcid=0x412\tacp=949\tband_top=300\ttick=70000",
    "6\tstring\tid=138\ttext=Initializing for BIOS update",
    "10\tlaunch\trole=first\tpid=32\tcommand=\"C:\\\\e2e\\\\BIOSUpdate.exe\"",
    "110\tmsgbox\trole=first\thwnd=0x1004c\tcaption=BIOS update\ttext=line one\\nline two"
    "\tbuttons=YES,NO\tdefault=YES\ticon=0",
    "360\tpress\trole=first\thwnd=0x1004c\tbutton=YES\ton_top=1\tforeground=0\tok=1",
    "400\tmsgbox_gone\trole=first\thwnd=0x1004c",
    "2800\tstatus\tstate=text\tid=138\ttext=Initializing for BIOS update\tmatch=exact"
    "\tdiffering=0\tmismatched=0",
    # Written late: a band first seen earlier than the line before it.
    "2790\tstatus\tstate=unknown\tlit=300",
    "2900\tclose\trole=first\thwnd=0x10050\tok=1",
    "2950\tmessage\trole=first\thwnd=0x10050\tmsg=0x218\twparam=0x4\tlparam=0x0\thow=sent"
    "\tresult=0x424d5144\tok=1",
    "6000\tstatus\tstate=text\tid=131\ttext=Loading\tmatch=exact\tdiffering=0\tmismatched=0",
    "6500\tstatus\tstate=text\tid=138\ttext=Initializing for BIOS update\tmatch=exact"
    "\tdiffering=0\tmismatched=0",
    "9010\texit\trole=first\tpid=32\tcode=0",
    "9040\tend",
]) + "\n"


class RunnerParts(unittest.TestCase):
    def test_registry_values_are_read_with_their_stored_bytes(self):
        keys = reg_file.parse_reg_file(WINE_SYSTEM_REG)
        run = reg_file.find_value(keys, r"SOFTWARE\microsoft\Windows\CurrentVersion\Run",
                                  "biosupdate")
        self.assertEqual((run.type_name, run.data),
                         ("REG_SZ", '"C:\\e2e\\BIOSUpdate.exe" 1\0'.encode("utf-16-le")))
        odd = r"Software\Tamrel\Odd ] name"
        self.assertEqual(reg_file.find_value(keys, odd, "count").to_json()["dword"], 42)
        self.assertEqual(reg_file.find_value(keys, odd, "blob").data, bytes(range(51)))
        self.assertEqual(reg_file.find_value(keys, odd, "korean").text(),
                         "\ubc84\uc804 tab\tquote\" octalA")
        self.assertIsNone(reg_file.find_value(keys, odd, "missing"))
        # Only the keys asked for are read.
        some = reg_file.parse_reg_file(WINE_SYSTEM_REG, {odd.lower()})
        self.assertEqual(some, {odd.lower(): keys[odd.lower()]})
        with self.assertRaises(reg_file.RegFileError):
            reg_file.parse_reg_file('[Key] 1\n"x"=weird:1\n')

    def test_the_driver_log_gives_boxes_statuses_and_close_requests_from_the_start(self):
        summary = driver_log.summarize(DRIVER_LOG)
        self.assertEqual(summary["instances"]["first"]["exited_ms"], 9000)
        self.assertEqual(summary["strings"]["138"], "Initializing for BIOS update")
        (box,) = summary["message_boxes"]
        self.assertEqual(box, {"role": "first", "caption": "BIOS update",
                               "text": "line one\nline two", "buttons": ["YES", "NO"],
                               "default": "YES", "icon": False, "appeared_ms": 100,
                               "pressed": "YES", "pressed_ms": 350, "closed_ms": 390,
                               "on_top": True, "foreground": False})
        self.assertEqual([(e["ms"], e["state"]) for e in summary["status_timeline"]],
                         [(2780, "unknown"), (2790, "text"), (5990, "text"), (6490, "text")])
        self.assertEqual([(s["id"], s["first_ms"]) for s in summary["status_texts"]],
                         [(138, 2790), (131, 5990)])
        self.assertEqual(summary["close_requests"], [2890])
        self.assertEqual(summary["messages"], [{"ms": 2940, "msg": 0x218, "wparam": 4, "lparam": 0,
                                                "how": "sent", "ok": True,
                                                "result": 0x424D5144}])
        self.assertTrue(summary["complete"])
        self.assertFalse(driver_log.summarize(DRIVER_LOG[:DRIVER_LOG.index("9010")])["complete"])

    def test_trace_lines_of_the_program_are_placed_on_the_report_clock(self):
        # The driver read the tick 70000 at 5 ms; the program started 5 ms later.
        launch_tick = driver_log.summarize(DRIVER_LOG)["launch_tick"]
        output = "\n".join([
            "uidriver: a message of the driver itself",
            "70.017:00fc:0100:trace:msg:NtUserSetTimer Added 0x1005a f5f (nil) timeout 3000",
        ])
        self.assertEqual(wine_trace.parse(output, launch_tick), [
            {"ms": 12, "pid": 0xfc, "tid": 0x100, "class": "trace", "channel": "msg",
             "text": "NtUserSetTimer Added 0x1005a f5f (nil) timeout 3000"}])

    def test_a_started_program_s_path_is_read_back_in_its_own_letters(self):
        # Wine writes a character beyond ASCII as a backslash and four hexadecimal digits.
        for written, read in [
                (r'\"C:\\\d504\b85c\\SWin.exe\" /P', r'"C:\프로\SWin.exe" /P'),
                (r'\"C:\\Caf\00e9\\d504.exe\"', r'"C:\Café\d504.exe"')]:
            text = f'CreateProcessInternalW app (null) cmdline L"{written}"'
            self.assertEqual(wine_trace.process_start(text), (None, read), written)


class RegistryPlanting(unittest.TestCase):
    def test_planted_values_read_back_and_leave_the_others_as_they_were(self):
        run, odd, new = (r"Software\Microsoft\Windows\CurrentVersion\Run",
                         r"Software\Tamrel\Odd ] name", "Software\\\ubc84\\[x]")
        text = "\ubc84\u010012 \"q\""
        cases = [
            # planted, then what reads back (type, data), None when gone
            ({(run.upper(), "biosupdate"): "C:\\x.exe 1"},
             {(run, "BIOSUpdate"): ("REG_SZ", "C:\\x.exe 1")}),
            ({(odd, "blob"): None}, {(odd, "blob"): None}),  # over several lines
            ({(odd, "new"): b"\x00\xff"}, {(odd, "new"): ("REG_BINARY", b"\x00\xff")}),
            ({(new, ""): text, (new, "n"): 7},
             {(new, ""): ("REG_SZ", text), (new, "n"): ("REG_DWORD", 7)}),
            ({("Software\\None", "x"): None}, {("Software\\None", "x"): None}),
        ]
        original = reg_file.parse_reg_file(WINE_SYSTEM_REG)
        for planted, expected in cases:
            with self.subTest(planted=planted):
                keys = reg_file.parse_reg_file(reg_file.plant(WINE_SYSTEM_REG, planted, 1))
                self.assertEqual({(k, n): _value(reg_file.find_value(keys, k, n))
                                  for k, n in expected}, expected)
                # Nothing else moved; a deletion of nothing adds no key.
                touched = {(k.lower(), n.lower()) for k, n in planted}
                self.assertEqual({(k, n): v for k, values in keys.items()
                                  for n, v in values.items() if (k, n) not in touched},
                                 {(k, n): v for k, values in original.items()
                                  for n, v in values.items() if (k, n) not in touched})


def _value(found):
    if found is None or found.type_code == 3:
        return found and (found.type_name, found.data)
    return found.type_name, found.text() if found.type_code == 1 else found.to_json()["dword"]


def _stat(pid, name, utime, stime, cutime=0, cstime=0, started=0):
    fields = ["S", "1", "1", "1", "0", "-1", "0", "0", "0", "0", "0", str(utime), str(stime),
              str(cutime), str(cstime), "20", "0", "1", "0", str(started)]
    return f"{pid} ({name}) " + " ".join(fields) + " 0 0\n"


class PhaseCosts(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.proc = folder.name
        self.write("uptime", "1000.00 1.00\n")
        os.mkdir(os.path.join(self.proc, "self"))

    def write(self, name, text):
        path = os.path.join(self.proc, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as handle:
            handle.write(text)

    def processes(self, table):
        for pid, (name, *times) in table.items():
            self.write(f"{pid}/stat", _stat(pid, name, *times))

    def test_cpu_by_phase_and_by_process_from_the_namespace_proc(self):
        ticks = phases.TICKS
        self.processes({1: ("python3", ticks, 0, 0, 0, 998 * ticks),
                        7: ("wine (odd) name", ticks, ticks)})
        clock = phases.Clock(self.proc)
        before = clock.reading()
        self.assertEqual(before[7], ("wine (odd) name", 2.0, 0.0))
        clock.lap("first")
        # The session collected process 7 (its time moves to the session's children's time),
        # a new one started and a reused number names another process.
        os.remove(os.path.join(self.proc, "7", "stat"))
        self.processes({1: ("python3", 2 * ticks, 0, 2 * ticks, 0, 998 * ticks),
                        9: ("uidriver.exe", ticks // 2, ticks // 2),
                        12: ("Xvfb", ticks, 0)})
        after = clock.reading()
        # Collected: its whole life's time, of which the first lap counted 2 s.
        clock.lap("second", {7: ("wine (odd) name", 2.5)})
        self.assertEqual([(lap["phase"], lap["cpu_s"]) for lap in clock.laps],
                         [("first", 3.0), ("second", 3.0)])
        # The first lap runs from the namespace's start, two seconds before.
        self.assertGreaterEqual(clock.laps[0]["wall_s"], 2.0)
        self.assertEqual(clock.laps[1]["by_process"],
                         {"python3": 1.0, "uidriver.exe": 1.0, "Xvfb": 1.0,
                          "wine (odd) name": 0.5})
        before[12] = ("Xvfb-earlier", 5.0, 0.0)
        self.assertEqual(phases.by_name(before, after)["Xvfb"], 1.0)

    def test_ended_children_are_collected_but_the_one_kept(self):
        ended = [subprocess.Popen(["true"]) for _ in range(3)]
        peek = os.WEXITED | os.WNOHANG | os.WNOWAIT
        while any(os.waitid(os.P_PID, p.pid, peek) is None for p in ended):
            time.sleep(0.01)
        session._collect_orphans(ended[0].pid)
        for process in ended[1:]:
            self.assertRaises(ChildProcessError, os.waitpid, process.pid, 0)
        self.assertEqual(os.waitpid(ended[0].pid, 0)[0], ended[0].pid)


class Prefix(unittest.TestCase):
    def test_a_run_s_prefix_starts_as_the_template_and_leaves_it_as_it_was(self):
        # Each run in a mount namespace of its own, as the runner's session is. A `mount` that
        # fails stands for a kernel that refuses the overlay.
        run = ("import os, sys; from tools.e2e import wine_prefix as w; "
               "p = w.new_prefix(sys.argv[1], sys.argv[2], copy=sys.argv[3] == '1'); "
               "open(os.path.join(p, 'a'), 'w').write('run'); "
               "print(sorted(os.listdir(p)), os.path.ismount(p)); w.release_prefix(p)")
        for case, copy, refused, written in [("overlay", False, False, "changes/a"),
                                             ("copy", True, False, "prefix/a"),
                                             ("refused", False, True, "prefix/a")]:
            with tempfile.TemporaryDirectory() as folder:
                template, run_dir = os.path.join(folder, "template"), os.path.join(folder, "run")
                for name in ("a", wine_prefix.TEMPLATE_STAMP, "bin/mount"):
                    os.makedirs(os.path.dirname(os.path.join(folder, "template", name)),
                                exist_ok=True)
                    with open(os.path.join(template, name), "w") as handle:
                        handle.write("#!/bin/sh\nexit 32\n" if name == "bin/mount" else name)
                os.chmod(os.path.join(template, "bin/mount"), 0o755)
                os.mkdir(run_dir)
                path = os.pathsep.join(([os.path.join(template, "bin")] if refused else [])
                                       + [os.environ["PATH"]])
                shown = subprocess.run(
                    ["unshare", "--mount", "--propagation", "private", sys.executable, "-c", run,
                     template, run_dir, "1" if copy else "0"], cwd=ROOT, check=True, text=True,
                    capture_output=True, env=dict(os.environ, PATH=path)).stdout
                self.assertEqual(shown.strip(), f"['a', 'bin'] {case == 'overlay'}", case)
                with open(os.path.join(template, "a")) as handle:
                    self.assertEqual(handle.read(), "a", case)
                self.assertTrue(os.path.isfile(os.path.join(template, wine_prefix.TEMPLATE_STAMP)))
                with open(os.path.join(run_dir, written)) as handle:
                    self.assertEqual(handle.read(), "run", case)


class Options(unittest.TestCase):
    def test_wrong_options_are_refused_as_they_are_made_and_the_session_gets_the_driver_form(self):
        # Any existing file stands in for the program and the driver: nothing runs here.
        made = {"exe": sys.executable, "driver": sys.executable}
        for wrong in [{"ac": "maybe"}, {"battery": 101}, {"locale": "de"}, {"answer": "later"},
                      {"other_boxes": "close"}, {"timeout": 0}, {"screen": (100, 100)},
                      {"program_files": "Apps"}, {"program_files_kib": 512},
                      {"files": {"notes.txt": "x"}}, {"files": {"C:\\a": 1}},
                      {"registry": [("HKLM\\x", "v", 1.5)]}, {"screenshots": ["later"]},
                      {"wine_debug": "+msg;rm"}, {"close_during_status": 128},
                      {"second_instances": [{"at": "status:x"}]},
                      {"second_instances": [{"at": "question", "stop": True}]},
                      {"messages": [{"during": 137, "msg": -1}]},
                      {"starts": [{"kill_at": "soon"}]}, {"starts": [{"answer": "maybe"}]}]:
            with self.subTest(**wrong), self.assertRaises(ValueError):
                runner.RunOptions(**made, **wrong)
        with self.assertRaises(runner.E2EError):
            runner.RunOptions(exe="/nonexistent/BIOSUpdate.exe", driver=sys.executable)
        config = runner.RunOptions(
            **made, registry=[("HKLM\\k", "n", b"\x01")], second_instances=[
                {"at": 1500, "stop_first_after": True}],
            messages=[{"during": 137, "msg": 0x218, "every_ms": 100}],
            starts=[{"kill_at": "status:131+500"}, {"args": "1"}]).session_config()
        self.assertEqual((config["registry"], config["seconds"], config["messages"]),
                         ([["HKLM\\k", "n", {"hex": "01"}]],
                          [{"at": "1500", "args": None, "stop_first_after": True}],
                          ["137:0:100:536:0:0"]))
        self.assertEqual([(s["args"], s["kill_at"]) for s in config["starts"]],
                         [(None, "status:131+500"), ("1", None)])


if __name__ == "__main__":
    unittest.main()
