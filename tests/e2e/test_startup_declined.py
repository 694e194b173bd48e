"""A normal run whose question is answered No, under Wine."""

import struct
import unittest

from e2e_support import QUESTION_CAPTION, ProductTestCase, leftover_files


def png_size(path):
    with open(path, "rb") as handle:
        header = handle.read(24)
    if header[:8] != b"\x89PNG\r\n\x1a\n":
        raise AssertionError(f"{path} is no PNG file")
    return struct.unpack(">II", header[16:24])


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


class QuestionOnScreen(ProductTestCase):
    def test_a_screenshot_shows_the_whole_screen_while_the_question_is_open(self):
        report = self.run_machine(answer="no", answer_delay_ms=1500, screen=(800, 600),
                                  screenshots=["msgbox:" + QUESTION_CAPTION])
        self.assert_exited_by_itself(report)
        (shot,) = report["screenshots"]
        self.assertTrue(shot["ok"], shot)
        self.assertLess(shot["ms"], report.message_boxes[0]["pressed_ms"])
        self.assertEqual(png_size(shot["path"]), (800, 600))


if __name__ == "__main__":
    unittest.main()
