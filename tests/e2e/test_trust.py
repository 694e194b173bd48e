"""What the elevated run starts and flashes: only the package's own bytes, in a work folder of the
program's own, with no executable planted beside the flash utility; and a window that the utility
shows during the flash stays above the status screen until it is answered."""

import unittest

from tools.bench.rules import IDS_CANNOT_UPDATE, IDS_UPDATING
from tools.e2e import stub_record

from .e2e_support import RECORD, WORK_FOLDER, ProductTestCase
from .test_faults import IMAGE
from .test_flash import FLASH_STEPS, UTILITY


class Trust(ProductTestCase):
    def payload_file(self, name):
        with open(self.product_file("default-payload", name), "rb") as handle:
            return handle.read()

    def assert_flash_refused(self, report, trace, worker_ids=FLASH_STEPS):
        """The run said it cannot update, started nothing, stamped and ended by its exit
        timer."""
        self.assert_statuses(report, worker_ids + [IDS_CANNOT_UPDATE])
        self.assert_ended_by_exit_timer(report, trace)

    def test_stale_read_only_files_of_an_older_package_are_neither_run_nor_flashed(self):
        # Files the program cannot replace keep their old bytes; the flash must not use them.
        older_utility = self.payload_file("SWinFlash.exe") + b"of an older package"
        for path, stale in [(IMAGE, b"an image of an older package"), (UTILITY, older_utility)]:
            with self.subTest(path=path):
                report, _, trace = self.run_update(files={path: stale}, read_only=[path],
                                                   env=RECORD)
                self.assert_flash_refused(report, trace)
                self.assertEqual(report["files"][path]["size"], len(stale))

    def test_a_utility_swapped_during_the_pauses_is_never_run(self):
        # The swapped-in program is the stand-in too: had it run, it would have left a record.
        swapped = self.payload_file("SWinFlash.exe") + b"swapped in"
        report, _, trace = self.run_update(env=RECORD, replacements=[
            {"at": f"status:{FLASH_STEPS[1]}+500", "path": UTILITY, "content": swapped}])
        (swap,) = report["replacements"]
        # Nothing holds the files during the pauses, so the swap goes through; the check before
        # the start finds it.
        self.assertTrue(swap["ok"], swap)
        self.assert_flash_refused(report, trace)

    def test_a_library_planted_beside_the_utility_refuses_the_flash(self):
        planted = WORK_FOLDER + r"\version.dll"
        report, _, trace = self.run_update(files={planted: b"MZ planted"}, env=RECORD)
        self.assert_flash_refused(report, trace)
        # The clean-up leaves what it did not write.
        self.assert_work_folder(report, ["version.dll"])

    def test_a_work_folder_that_is_a_file_or_leads_elsewhere_is_left_alone(self):
        elsewhere = r"C:\Elsewhere"
        theirs = {elsewhere + r"\SWinFlash.exe": b"theirs", elsewhere + r"\msvcrt.dll": b"theirs"}
        in_the_way = b"a plain file where the work folder belongs"
        for options in [{"files": {WORK_FOLDER: in_the_way}},
                        {"files": theirs, "links": {WORK_FOLDER: elsewhere}}]:
            with self.subTest(options=list(options)):
                report, _, trace = self.run_update(env=RECORD, **options)
                # No image was written, so the worker finds none.
                self.assert_flash_refused(report, trace, worker_ids=[])
                self.assertEqual({p: report["files"][p]["size"] for p in options["files"]},
                                 {p: len(c) for p, c in options["files"].items()})

    def test_a_question_of_the_utility_stays_above_the_screen_until_answered(self):
        after_box = f"status:{IDS_UPDATING}+7000"
        report, _, _ = self.run_update(
            env=dict(RECORD, BIOSUPDATE_STUB_MESSAGE_BOX_MS=2000, BIOSUPDATE_STUB_DELAY_MS=3000),
            # Long enough for the screen to have covered the box fifteen times.
            answer_delay_ms=1500, screenshots=["msgbox:SWinFlash", after_box])
        self.assert_statuses(report, FLASH_STEPS)
        (box,) = [b for b in report.message_boxes if b["role"] == "utility"]
        self.assertEqual((box["caption"], box["pressed"], box["on_top"], box["foreground"]),
                         ("SWinFlash", "OK", True, True), box)
        (record,) = stub_record.parse(report["stub_record"])
        self.assertEqual(record["final-message-box-answer"], ["1"])  # IDOK
        self.assert_stamped(report)
        # Once the box has gone, the status screen covers everything again.
        self.assert_status_screen(report, "en", at=[after_box])


if __name__ == "__main__":
    unittest.main()
