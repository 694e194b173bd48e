"""The clean-up mode (command-line number 1) against a normal run, under Wine."""

import unittest

from e2e_support import WORK_FOLDER, ProductTestCase, autostart_value, leftover_files


class CleanUpMode(ProductTestCase):
    def test_the_number_one_removes_the_work_folder_and_the_autostart_value(self):
        # On battery power below the gate's limit: the mode does not look at the power state.
        for args in ["1", " 1", "+1", "01", "1 more"]:
            with self.subTest(args=args):
                report = self.run_machine(args=args, ac="off", battery=5, timeout=25,
                                          files=leftover_files(), registry=autostart_value())
                self.assert_exited_by_itself(report)
                self.assert_shows_nothing(report)
                self.assert_work_folder_entries(report, [])
                self.assert_autostart(report, present=False)

    def test_unlisted_files_and_the_backup_stay(self):
        report = self.run_machine(args="1", timeout=25,
                                  files=leftover_files("BIOS.bak", "notes.txt"))
        self.assert_exited_by_itself(report)
        self.assert_shows_nothing(report)
        self.assert_work_folder_entries(report, ["BIOS.bak", "notes.txt"])

    def test_the_clean_up_follows_a_moved_program_files_folder(self):
        moved = r"C:\Apps"
        planted = {path.replace(r"C:\Program Files", moved): content
                   for path, content in leftover_files().items()}
        # Files in the usual place are not the program's work folder on this machine.
        planted[WORK_FOLDER + r"\SWinFlash.exe"] = "not in the work folder"
        report = self.run_machine(args="1", program_files=moved, files=planted, timeout=25)
        self.assert_exited_by_itself(report)
        self.assertEqual(report.work_folder["path"], moved + r"\BIOSUPDATE")
        self.assertFalse(report.work_folder["exists"])
        self.assertTrue(report["files"][WORK_FOLDER + r"\SWinFlash.exe"]["exists"])

    def test_nothing_to_clean_is_no_failure(self):
        report = self.run_machine(args="1", timeout=25)
        self.assert_exited_by_itself(report)
        self.assert_shows_nothing(report)
        self.assert_work_folder_entries(report, [])
        self.assert_autostart(report, present=False)

    def test_other_arguments_give_a_normal_run(self):
        for args in ["0", "2", "-1", "10", "a1", None]:
            with self.subTest(args=args):
                report = self.run_machine(args=args, answer="no", registry=autostart_value())
                self.assert_exited_by_itself(report)
                self.assert_asked(report)
                self.assert_autostart(report, present=True)


if __name__ == "__main__":
    unittest.main()
