"""Update runs that flash: the running BIOS is older than the carried image, so the worker starts
the stand-in flash utility in the work folder and waits for it. The utility records how it was
started (tools/flashstub/README.md)."""

import os
import unittest

from e2e_support import WORK_FOLDER
from test_update_outcomes import (CHECKING_TO_UPDATING_MS, IDS_CHECKING, IDS_LOADING, IDS_UPDATING,
                                  IDS_VERIFYING, IDT_EXIT, STATUS_TEXTS, STUB_RECORD,
                                  UPDATING_TO_FLASH_MS, WM_UPDATE_FINISH, UpdateRunCase)

UTILITY = WORK_FOLDER + r"\SWinFlash.exe"
COMMAND_LINE = f'"{UTILITY}" /BU=BIOS.bak /C /MFG /P /S /V /mode=2 MIRTSF13.IMC'
FLASH_TEXTS = [IDS_LOADING, IDS_VERIFYING, IDS_CHECKING, IDS_UPDATING]
# What the utility must find beside itself: its seven companions and the image.
FOLDER_FILES = ["SWinFlash.exe", "mfc42.dll", "msvcp60.dll", "msvcrt.dll", "PHLASH.INI",
                "PhlashLc.dll", "Phlash9X.vxd", "PhlashNT.sys", "mirtsf13.imc"]
IMAGE_SIZE = 1053222
# Where Windows would look first for an unquoted "C:\Program Files\..." command line.
MISDIRECTED_PROGRAM = r"C:\Program.exe"


def stub_records(text):
    """The stand-in utility's records, each as {key: [values]}."""
    records = []
    for line in (text or "").splitlines():
        if line == "[run]":
            records.append({})
        elif "=" in line and records:
            key, value = line.split("=", 1)
            records[-1].setdefault(key, []).append(value)
    return records


def stand_in_utility(exe):
    """The stand-in flash utility that the product was built with."""
    return os.path.join(os.path.dirname(exe), "default-payload", "SWinFlash.exe")


class FlashRunCase(UpdateRunCase):
    """A flash run and what every flash shares: one start of the utility with the fixed command
    line, in the work folder, with the payload beside it; the stamp; WM_UPDATE_FINISH from the
    worker without IDT_EXIT; the backup's empty work folder left behind."""

    def run_flash(self, **options):
        env = {"BIOSUPDATE_STUB_RECORD": STUB_RECORD, **options.pop("env", {})}
        report, window, trace = self.run_update(env=env, **options)
        self.assert_status_texts(report, FLASH_TEXTS, options.get("locale", "en"))
        (record,) = stub_records(report["stub_record"])
        self.assertEqual(record["command-line"], [COMMAND_LINE])
        self.assertEqual(record["current-folder"], [WORK_FOLDER])
        self.assertEqual(sorted(record["file"]), sorted(FOLDER_FILES))
        self.assertNotIn("folder", record)
        self.assertEqual((record["image"], record["image-size"]), (["MIRTSF13.IMC"],
                                                                    [str(IMAGE_SIZE)]))
        self.assertEqual(record["backup"], ["BIOS.bak"])

        # Wine hands the utility its own path quoted in any case; the trace shows what the
        # program itself passed.
        (start,) = trace.process_starts
        self.assertEqual(start["command_line"], COMMAND_LINE)
        self.assertIn(start["app"], (None, UTILITY))

        self.assert_stamped(report)
        self.assertEqual(trace.timers_with_id(IDT_EXIT), [], "IDT_EXIT armed on the flash path")
        (finish,) = trace.posted(WM_UPDATE_FINISH)
        self.assertEqual(finish["tid"], start["tid"], "WM_UPDATE_FINISH not from the worker")
        self.assertGreater(finish["ms"], start["ms"])
        self.assertTrue(trace.handled(WM_UPDATE_FINISH), "WM_UPDATE_FINISH never handled")
        # The clean-up ran while the utility's backup was still there; the folder stayed.
        self.assertTrue(report.work_folder["exists"], "the work folder is gone")
        self.assertEqual(report.work_folder["entries"], {})
        return report, window, trace, record, start


class Flash(FlashRunCase):
    def test_an_older_bios_is_flashed_and_nothing_else_is_started(self):
        utility = stand_in_utility(self.exe)
        self.assertTrue(os.path.isfile(utility), f"no stand-in utility at {utility}")
        with open(utility, "rb") as handle:
            # Should it ever run, it adds its own record.
            planted = {MISDIRECTED_PROGRAM: handle.read()}
        report, window, trace, _, start = self.run_flash(bios_version="MIRTSF12",
                                                         files=planted)
        self.assertEqual(report["files"][MISDIRECTED_PROGRAM]["size"],
                         len(planted[MISDIRECTED_PROGRAM]))
        self.assert_window_timeline(report, window, trace)
        self.assert_worker_timeline(report, trace, IDS_CHECKING)
        updating = self.shown_ms(report, IDS_UPDATING)
        self.assert_about(updating - self.shown_ms(report, IDS_CHECKING),
                          CHECKING_TO_UPDATING_MS, "IDS_CHECKING to IDS_UPDATING")
        self.assert_about(start["ms"] - updating, UPDATING_TO_FLASH_MS,
                          "IDS_UPDATING to the utility's start")

    def test_a_lower_case_version_on_a_korean_system(self):
        report, _, _, _, _ = self.run_flash(bios_version="mirtsf12", locale="ko")
        self.assertEqual(report["driver"]["lcid"], "0x412")
        # The driver loaded the program's strings as the program does: Korean ones.
        for status_id in FLASH_TEXTS:
            self.assertEqual(report["strings"][str(status_id)], STATUS_TEXTS["ko"][status_id])


if __name__ == "__main__":
    unittest.main()
