"""The power gate: which machines are refused with which message, and which go on to the
question. Runs BIOSUpdate.exe under Wine on simulated machines."""

import unittest

from e2e_support import ProductTestCase, leftover_files


class PowerGate(ProductTestCase):
    def test_refused_machines_get_their_message_after_the_clean_up(self):
        cases = [
            # ac, battery, locale, message
            ("off", 100, "en", "no_ac"),
            ("off", 5, "en", "no_ac"),  # off mains the charge is not consulted
            ("on", 19, "en", "low_battery"),
            ("unknown", 19, "en", "low_battery"),
            ("off", 100, "ko", "no_ac"),
            ("on", 19, "ko", "low_battery"),
        ]
        for ac, battery, locale, message in cases:
            with self.subTest(ac=ac, battery=battery, locale=locale):
                report = self.run_machine(ac=ac, battery=battery, locale=locale,
                                          files=leftover_files("notes.txt"))
                self.assert_exited_by_itself(report)
                self.assert_refused(report, locale, message)
                self.assertEqual(report.message_boxes[0]["pressed"], "OK")
                # The listed leftovers are gone; the unlisted file keeps the folder.
                self.assert_work_folder_entries(report, ["notes.txt"])

    def test_the_work_folder_is_cleaned_before_the_message_shows(self):
        # The message stays open until the run is killed: whatever the clean-up did, it did
        # before the box appeared.
        report = self.run_machine(ac="off", battery=100, other_boxes="leave", timeout=15,
                                  files=leftover_files())
        self.assertTrue(report.timed_out)
        self.assert_refused(report, "en", "no_ac")
        self.assertIsNone(report.message_boxes[0]["pressed"])
        self.assertIsNone(report.message_boxes[0]["closed_ms"])
        self.assert_work_folder_entries(report, [])

    def test_accepted_machines_go_on_to_the_question(self):
        cases = [
            # ac, battery
            ("on", 20),
            ("on", 100),
            ("on", None),  # no battery: charge 255
            ("unknown", 20),
            ("unknown", 100),
        ]
        for ac, battery in cases:
            with self.subTest(ac=ac, battery=battery):
                report = self.run_machine(ac=ac, battery=battery, answer="no")
                self.assert_exited_by_itself(report)
                self.assert_asked(report)
                self.assertEqual(report.message_boxes[0]["pressed"], "NO")


if __name__ == "__main__":
    unittest.main()
