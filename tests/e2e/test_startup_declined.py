"""A normal run whose question is answered No, under Wine."""

import unittest

from e2e_support import ProductTestCase, leftover_files


class DeclinedRun(ProductTestCase):
    def test_no_leaves_no_payload_and_never_covers_the_screen(self):
        for locale in ["en", "ko"]:
            with self.subTest(locale=locale):
                report = self.run_machine(locale=locale, answer="no", files=leftover_files())
                self.assert_exited_by_itself(report)
                self.assert_asked(report, locale)
                self.assertEqual(report.message_boxes[0]["pressed"], "NO")
                self.assertEqual(report.fullscreen_windows(), [])
                self.assertEqual(report.status_ids, [])
                # Leftovers of an earlier run go too; the worker never ran, so no stamp.
                self.assert_work_folder_entries(report, [])
                self.assertIsNone(report.registry["version"])
                self.assertFalse(report.registry["appwizard_key"])


if __name__ == "__main__":
    unittest.main()
