"""Update runs that flash: the running BIOS is older than the carried image, so the worker starts
the stand-in flash utility in the work folder and waits for it. The utility records how it was
started (tools/flashstub/README.md)."""

import unittest

from tools.bench import rules
from tools.bench.rules import (IDS_CHECKING, IDS_INITIALIZING, IDS_UPDATING, IDS_VERIFYING,
                               worker_steps)
from tools.e2e import stub_record

from .e2e_support import (IDT_EXIT, IMAGE_NAME, RECORD, TRACK, WM_UPDATE_FINISH, WORK_FOLDER,
                          ProductTestCase, picture_rows)

UTILITY = WORK_FOLDER + "\\" + rules.UTILITY
COMMAND_LINE = rules.utility_command_line(WORK_FOLDER, IMAGE_NAME)
# What the utility must find beside itself: its seven companions and the image.
FOLDER_FILES = rules.UTILITY_FILES + [IMAGE_NAME]
FLASH_STEPS = [status_id for status_id, _ in worker_steps(IDS_UPDATING)[0]]
# Where Windows looks first for an unquoted "C:\Program Files\..." command line.
MISDIRECTED = r"C:\Program.exe"


class Flash(ProductTestCase):
    def run_flash(self, env=None, **options):
        """A flash run and what every flash shares: one start of the utility with the fixed
        command line, in the work folder, with the payload and the image beside it; the stamp;
        WM_UPDATE_FINISH from the worker without IDT_EXIT; the backup's folder left empty."""
        # Should the stand-in ever run from here, its record shows the command line unquoted.
        with open(self.product_file("default-payload", "SWinFlash.exe"), "rb") as handle:
            planted = {MISDIRECTED: handle.read()}
        report, window, trace = self.run_update(
            files=planted, env={**RECORD, **(env or {})},
            **{"bios_version": "MIRTSF12", **options})
        self.assert_statuses(report, FLASH_STEPS)
        self.assert_timeline(report, window, trace, IDS_UPDATING)
        (record,) = stub_record.parse(report["stub_record"])
        self.assertEqual(record["command-line"], [COMMAND_LINE])
        self.assertEqual(record["current-folder"], [WORK_FOLDER])
        self.assertEqual(sorted(record["file"]), sorted(FOLDER_FILES))
        self.assertNotIn("folder", record)
        with open(self.product_file("default-payload", IMAGE_NAME), "rb") as handle:
            image_size = str(len(handle.read()))
        self.assertEqual((record["image"], record["image-size"], record["backup"]),
                         ([rules.upper(IMAGE_NAME)], [image_size], [rules.BACKUP]))
        self.assertEqual(report["files"][MISDIRECTED]["size"], len(planted[MISDIRECTED]))
        # The utility finds its own library beside it (a placeholder, no valid image: 193),
        # although the program keeps its own folder out of its DLL search.
        self.assertEqual(record["library-error"], ["193"])
        # Wine hands the utility its own path quoted in any case; the trace shows what the
        # program itself passed.
        (start,) = trace.starts
        self.assertEqual(start["command_line"], COMMAND_LINE)
        self.assertIn(start["app"], (None, UTILITY))
        self.assert_about(start["ms"] - self.shown_ms(report, IDS_UPDATING),
                          rules.UPDATING_TO_UTILITY, "IDS_UPDATING to the utility's start")
        self.assert_stamped(report)
        self.assertEqual(trace.timers_with_id(IDT_EXIT), [], "IDT_EXIT armed on the flash path")
        (finish,) = trace.posted(WM_UPDATE_FINISH)
        self.assertEqual(finish["tid"], start["tid"], "WM_UPDATE_FINISH not from the worker")
        self.assertGreater(finish["ms"], start["ms"])
        self.assertTrue(trace.handled(WM_UPDATE_FINISH), "WM_UPDATE_FINISH never handled")
        # The clean-up ran while the utility's backup was still there; the folder stayed.
        self.assert_work_folder(report, [])
        return report, record, start, finish

    def test_an_older_bios_is_flashed_and_nothing_else_is_started(self):
        # On mains at 20%, the lowest charge accepted.
        report, _, _, _ = self.run_flash(
            battery=20, screenshots=[f"status:{IDS_VERIFYING}", f"status:{IDS_CHECKING}"])
        self.assert_status_screen(report, "en")

    def test_a_slow_failing_utility_is_waited_for_with_the_animation_going(self):
        # A Korean notebook without a battery whose BIOS reports its version in lower case.
        flash_ms, code = 8000, 7
        shots = [f"status:{IDS_UPDATING}+2500", f"status:{IDS_UPDATING}+4000"]
        report, record, start, finish = self.run_flash(
            locale="ko", battery=None, bios_version="mirtsf12", screenshots=shots,
            env={"BIOSUPDATE_STUB_DELAY_MS": flash_ms, "BIOSUPDATE_STUB_EXIT_CODE": code})
        self.assertEqual(report["driver"]["lcid"], "0x412")
        self.assertTrue(any(ord(c) > 127 for c in report["strings"][str(IDS_INITIALIZING)]),
                        "the driver did not load the Korean strings")
        self.assertEqual((record["delay-ms"], record["exit-code"]), ([str(flash_ms)], [str(code)]))
        # The worker goes on only once the utility has ended, and then at once, whatever the
        # exit code; IDS_UPDATING stays all the while.
        self.assertGreaterEqual(finish["ms"] - start["ms"], flash_ms)
        self.assert_about(finish["ms"] - start["ms"], flash_ms, "the utility's run")
        updating = self.shown_ms(report, IDS_UPDATING)
        self.assertEqual([e for e in report["status_timeline"]
                          if updating < e["ms"] <= finish["ms"]], [])
        self.assert_status_screen(report, "ko")
        # Both pictures fall into the utility's run, 1.5 s apart, and show the block elsewhere
        # (the track's rows hold nothing else).
        self.assertTrue(all(start["ms"] < s["ms"] < finish["ms"] for s in report["screenshots"]))
        first, second = (picture_rows(s["path"]) for s in report["screenshots"])
        track = slice((768 - 480) // 2 + TRACK[1], (768 - 480) // 2 + TRACK[3] + 1)
        self.assertNotEqual(first[track], second[track], "the progress block did not move")


if __name__ == "__main__":
    unittest.main()
