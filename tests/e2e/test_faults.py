"""Faults a flash program must come through in order: a full disk, runs cut short by End task or a
power loss, a flash utility that cannot start or that runs for minutes while the system asks the
program to close, to suspend and to end the session, further starts of the program at every
stage of a run, and DLLs looked for in the folder it was started from."""

import re
import unittest

from tools.bench.rules import IDS_CANNOT_UPDATE, IDS_INITIALIZING, IDS_LOADING, IDS_UPDATING
from tools.e2e import stub_record

from .e2e_support import (IMAGE_NAME, RECORD, WM_CLOSE, WM_UPDATE_FINISH, WORK_FOLDER,
                          ProductTestCase)
from .test_flash import FLASH_STEPS, FOLDER_FILES, UTILITY

BROADCAST_QUERY_DENY = 0x424D5144
ERROR_SHARING_VIOLATION = 32
IMAGE = WORK_FOLDER + "\\" + IMAGE_NAME
# A flash that runs past a minute: longer than Windows waits for hung or ending programs (5 and
# 20 s), with requests arriving all along; every further minute costs a minute of CI time and
# shows nothing new.
LONG_FLASH_MS = 70000
# (message, wParam, lParam, the answer, or None where only posting is asked)
REQUESTS = [(WM_CLOSE, 0, 0, None),
            (0x218, 0, 0, BROADCAST_QUERY_DENY),  # WM_POWERBROADCAST, PBT_APMQUERYSUSPEND
            (0x218, 4, 0, BROADCAST_QUERY_DENY),  # PBT_APMSUSPEND
            (0x218, 10, 0, "not denied"),  # PBT_APMPOWERSTATUSCHANGE goes to the default
            (0x11, 0, 0, 0),  # WM_QUERYENDSESSION for a shut-down or restart: refused
            (0x11, 0, 0x80000000, 0)]  # and for a log-off
# Wine's loader names each search for a DLL with the folders it searches, in order. Searches for
# the imports of the DLLs it loads show "(null)": it resolves them in the path the process began
# with (Wine 8 applies neither SetDefaultDllDirectories nor the load configuration to them, as
# Windows does), so they are not matched here.
DLL_SEARCH = re.compile(r'^load_dll looking for L"([^"]*)" in L"([^"]*)"')
SYSTEM_FOLDER = "c:\\windows\\system32"


def unescaped(wine_text):
    """A path as Wine's trace writes it, backslashes doubled."""
    return wine_text.replace("\\\\", "\\")


class Faults(ProductTestCase):
    def assert_silent_seconds(self, report, count):
        """Every further start ended by itself, at once, showing nothing."""
        seconds = report["second_instances"]
        self.assertEqual([(s["exit_code"], s["terminated"]) for s in seconds], [(0, None)] * count,
                         seconds)
        shown = report["windows"] + report.message_boxes
        self.assertEqual({w["role"] for w in shown}, {"first"})

    def test_a_full_disk_names_the_file_and_the_run_ends_without_payload_or_stamp(self):
        # A 512 KiB disk holds the utility's files but not the 1 MiB image. In the first start a
        # leftover of an earlier run, which the clean-up lists, leaves no room even for those.
        folder = r"C:\Full"
        leftover = {folder + r"\BIOSUPDATE\PHLASH.txt": bytes(508 * 1024)}
        report = self.run_machine(program_files=folder, program_files_kib=512, files=leftover,
                                  starts=[{}, {}])
        with open(self.exe, "rb") as handle:
            formats = set(re.findall(rb"[ -~]*%1[ -~]*(?=\0)", handle.read()))
        for start, name, statuses in zip(report.starts, ["SWinFlash.exe", "mirtsf13.imc"],
                                         [[], [IDS_INITIALIZING]]):
            with self.subTest(name=name):
                self.assert_asked(start, "YES")
                (error,) = start.message_boxes[1:]
                path = f"{folder}\\BIOSUPDATE\\{name}"
                # The framework's text for the cause, as the executable carries it.
                self.assertIn(error["text"].replace(path, "%1").encode(), formats)
                self.assertTrue(error["text"].startswith("Disk full"), error["text"])
                self.assertEqual((error["caption"], error["icon"]), ("BIOSUpdate", True))
                self.assertEqual(start.status_ids, statuses)
                self.assertGreaterEqual(start.ended["after_ms"], error["closed_ms"])
                self.assertEqual(start.exit_code, 0)
                self.assert_work_folder(start, None)
                self.assertIsNone(start.registry["version"])

    def test_runs_cut_short_leave_their_payload_to_the_next_run_and_the_clean_up_mode(self):
        report = self.run_machine(env=RECORD, starts=[
            {"kill_at": f"status:{IDS_LOADING}+1000"},
            {"kill_at": f"status:{IDS_UPDATING}+2500", "env": {"BIOSUPDATE_STUB_DELAY_MS": 30000}},
            {}, {"args": "1"}])
        paused, flashing, completed, clean_up = report.starts
        for start, statuses, left in [(paused, [IDS_LOADING], FOLDER_FILES),
                                      (flashing, FLASH_STEPS, FOLDER_FILES + ["BIOS.bak"])]:
            self.assertEqual(start.ended["how"], "killed")
            self.assert_statuses(start, statuses)
            self.assert_work_folder(start, left)
            self.assertIsNone(start.registry["version"])
        # The utility was killed with the program, before its end.
        (record,) = stub_record.parse(flashing["stub_record"])
        self.assertNotIn("final-file", record)
        self.assertEqual(completed.exit_code, 0)
        self.assert_statuses(completed, FLASH_STEPS)
        self.assert_stamped(completed)
        # The backup goes after the folder's removal was tried; the clean-up mode removes it.
        self.assert_work_folder(completed, [])
        self.assertEqual((clean_up.message_boxes, clean_up.windows(visible_only=True)), ([], []))
        self.assert_work_folder(clean_up, None)
        self.assert_stamped(clean_up)
        self.assert_autostart(clean_up, present=False)

    def test_a_utility_that_cannot_start_shows_cannot_update_and_the_run_ends(self):
        # A directory where the utility belongs: it can be neither written nor started, and the
        # check of the payload before the start stops it.
        report, _, trace = self.run_update(
            dirs=[UTILITY], env=RECORD,
            second_instances=[{"at": f"status:{IDS_CANNOT_UPDATE}+1500"}])
        self.assert_statuses(report, FLASH_STEPS + [IDS_CANNOT_UPDATE])
        self.assert_ended_by_exit_timer(report, trace)
        self.assert_work_folder(report, ["SWinFlash.exe"])
        # A start while the run is finishing.
        self.assert_silent_seconds(report, 1)

    def test_a_long_flash_refuses_every_request_and_keeps_the_utilitys_files(self):
        stages = ["question", f"status:{IDS_INITIALIZING}+300", f"status:{IDS_LOADING}+1000",
                  f"status:{IDS_UPDATING}+5000"]
        report, window, trace = self.run_update(
            timeout=150, env=dict(RECORD, BIOSUPDATE_STUB_DELAY_MS=LONG_FLASH_MS),
            second_instances=[{"at": at} for at in stages],
            # While the utility flashes, another image is swapped in, or else written over it.
            replacements=[{"at": f"status:{IDS_UPDATING}+8000", "path": IMAGE,
                           "content": b"another image"}],
            # From well after the utility's start (1000 ms after the text) to its end.
            messages=[dict(during=IDS_UPDATING, after_ms=3000, every_ms=12000, msg=m, wparam=w,
                           lparam=lp) for m, w, lp, _ in REQUESTS])
        self.assert_statuses(report, FLASH_STEPS)
        (finish,) = trace.posted(WM_UPDATE_FINISH)
        for message, wparam, lparam, answer in REQUESTS:
            with self.subTest(message=message, wparam=wparam, lparam=lparam):
                sent = [m for m in report["messages"] if m["ms"] < finish["ms"] and
                        (m["msg"], m["wparam"], m["lparam"]) == (message, wparam, lparam)]
                self.assertGreaterEqual(len(sent), 5)
                self.assertTrue(all(m["ok"] for m in sent), sent)
                results = {m["result"] for m in sent}
                if answer == "not denied":
                    self.assertNotIn(BROADCAST_QUERY_DENY, results)
                else:
                    self.assertEqual(results, {answer})
        closes = [m["ms"] for m in report["messages"] if m["msg"] == WM_CLOSE]
        self.assertTrue([c for c in trace.handled(WM_CLOSE) if closes[0] <= c["ms"] < finish["ms"]])
        self.assertGreater(window["gone_ms"], finish["ms"])
        # When the utility ended, its files and the image were there as at its start: the image
        # could be neither replaced nor written, and neither could the utility's own files.
        (swap,) = report["replacements"]
        self.assertEqual((swap["ok"], swap["error"]), (False, ERROR_SHARING_VIOLATION), swap)
        self.assertNotEqual(swap["move_error"], 0, swap)
        (record,) = stub_record.parse(report["stub_record"])
        self.assertEqual(record["own-file-write"], [str(ERROR_SHARING_VIOLATION)])
        self.assertEqual(sorted(record["final-file"]), sorted(FOLDER_FILES + ["BIOS.bak"]))
        self.assertEqual(record["final-image-crc32"], record["image-crc32"])
        self.assertGreaterEqual(finish["ms"] - self.shown_ms(report, IDS_UPDATING), LONG_FLASH_MS)
        self.assert_stamped(report)
        self.assert_work_folder(report, [])
        self.assert_silent_seconds(report, len(stages))

    def test_once_started_the_program_looks_for_dlls_in_the_system_folder_alone(self):
        # Started from its folder, which is also its current one, as Explorer starts it; the
        # WMI query loads its provider and that provider's DLLs.
        report = self.run_machine(answer="yes", bios_version="MIRTSF14", wine_debug="+module",
                                  timeout=60)
        started = min(w["first_ms"] for w in report["windows"] if w["role"] == "first")
        searches = [(unescaped(m[1]), unescaped(m[2]).split(";"))
                    for e in report["wine_trace"] if e["pid"] == report.ended["pid"] and
                    e["ms"] >= started and (m := DLL_SEARCH.match(e["text"]))]
        self.assertIn(r"C:\windows\system32\wbem\wbemprox.dll", [name for name, _ in searches])
        for name, folders in searches:
            self.assertEqual([f for f in folders if not f.lower().startswith(SYSTEM_FOLDER)], [],
                             f"{name} looked for outside the system folder")


if __name__ == "__main__":
    unittest.main()
