"""The runs that end before the status screen: the clean-up mode, the declined question, the
power refusals and a second instance. Runs BIOSUpdate.exe under Wine on simulated machines."""

import os
import unittest

from tools.bench.rules import IDS_LOW_BATTERY, IDS_NO_AC, POWER_CAPTION, QUESTION_CAPTION
from tools.e2e import runner

from .e2e_support import AUTOSTART, WORK_FOLDER, ProductTestCase, leftovers


def tree_state(folder):
    """Every entry below the folder with its kind, size, mode and modification time."""
    paths = [os.path.join(root, name) for root, dirs, files in os.walk(folder)
             for name in dirs + files]
    return {path: (info.st_mode, info.st_size, info.st_mtime_ns)
            for path in paths for info in [os.lstat(path)]}


class StartUp(ProductTestCase):
    def assert_shows_nothing(self, report):
        self.assertEqual((report.message_boxes, report.windows(visible_only=True)), ([], []))

    def test_clean_up_mode_follows_the_program_files_folder_and_keeps_unlisted_files(self):
        # Off mains and nearly empty: the mode does not look at the power state.
        moved = r"C:\Apps"
        files = leftovers(moved + r"\BIOSUPDATE", ["BIOS.bak", "notes.txt"])
        # The usual place is not the work folder on this machine.
        files[WORK_FOLDER + r"\SWinFlash.exe"] = "not in the work folder"
        # The run plants, writes and deletes files and registry values in its own prefix alone.
        template = runner.prepare_template()
        before = tree_state(template)
        report = self.run_machine(args="1", ac="off", battery=5, program_files=moved,
                                  files=files, registry=[AUTOSTART])
        self.assertEqual(tree_state(template), before)
        self.assert_shows_nothing(report)
        self.assertEqual(report.work_folder["path"], moved + r"\BIOSUPDATE")
        self.assert_work_folder(report, ["BIOS.bak", "notes.txt"])
        self.assertTrue(report["files"][WORK_FOLDER + r"\SWinFlash.exe"]["exists"])
        self.assert_autostart(report, present=False)

    def test_a_declined_question_removes_leftovers_and_never_covers_the_screen(self):
        # Any number but 1 gives a normal run.
        report = self.run_machine(args="2", answer="no", files=leftovers(),
                                  registry=[AUTOSTART])
        self.assert_asked(report, "NO")
        self.assertEqual(len(report.message_boxes), 1)
        self.assertEqual((report.fullscreen_windows(), report.status_ids), ([], []))
        self.assert_work_folder(report, None)
        # The worker never ran, so no stamp; the framework's key holds nothing.
        self.assertIsNone(report.registry["version"])
        self.assertFalse(report.registry["appwizard_key"])
        self.assert_autostart(report, present=True)

    def test_each_power_refusal_shows_its_message_after_the_clean_up(self):
        cases = [
            # ac, battery, locale, message, the box left open (until the run is killed)
            ("off", 5, "en", IDS_NO_AC, True),
            ("on", 19, "ko", IDS_LOW_BATTERY, False),
        ]
        for ac, battery, locale, message, left_open in cases:
            with self.subTest(message=message):
                report = self.run_machine(ac=ac, battery=battery, locale=locale,
                                          other_boxes="leave" if left_open else "ok",
                                          ended="timeout" if left_open else "exited",
                                          timeout=5, files=leftovers(extra=["notes.txt"]))
                (box,) = report.message_boxes
                self.assertEqual((box["caption"], box["text"], box["buttons"], box["icon"]),
                                 (POWER_CAPTION, self.text(report, message), ["OK"], False))
                self.assertEqual(box["pressed"], None if left_open else "OK")
                self.assertEqual(report.fullscreen_windows(), [])
                # Listed leftovers go, even while the box is still open; the unlisted file
                # keeps the folder.
                self.assert_work_folder(report, ["notes.txt"])

    def test_a_second_start_exits_silently_and_touches_nothing(self):
        # With the number 1 it would clean up, were the instance test not first. The driver
        # ends the first instance (left at its question) once the second has exited.
        files = leftovers()
        report = self.run_machine(answer="none", files=files, registry=[AUTOSTART],
                                  ended="stopped",
                                  second_instances=[{"at": "question", "args": "1",
                                                     "stop_first_after": True}])
        (second,) = report["second_instances"]
        self.assertIsNotNone(second["exit_code"], "the second instance did not end")
        self.assertIsNone(second["terminated"], "the second instance had to be killed")
        self.assertEqual(report.windows(role="second", visible_only=True), [])
        (question,) = report.message_boxes
        self.assertEqual((question["caption"], question["pressed"]), (QUESTION_CAPTION, None))
        self.assertLessEqual(question["appeared_ms"], second["launched_ms"])
        self.assertEqual({p: report["files"][p].get("size") for p in files},
                         {p: len(content) for p, content in files.items()})
        self.assert_autostart(report, present=True)


if __name__ == "__main__":
    unittest.main()
