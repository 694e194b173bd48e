"""An update run whose payload cannot be written: the framework reports the file error, and the
run, abandoned in the window's initialisation, still ends by itself and leaves nothing behind."""

import unittest

from e2e_support import WORK_FOLDER, ProductTestCase
from test_status_screen import Picture
from test_update_outcomes import TRACE_CHANNELS, ProgramTrace

APP_NAME = "BIOSUpdate"
WINDOW_TITLE = "BIOS Update Program"
FIRST_UTILITY_FILE = WORK_FOLDER + r"\SWinFlash.exe"
IN_THE_WAY = "a plain file where the work folder belongs\r\n"
WM_UPDATE_QUIT = 0x807


def red_pixels(picture, rect):
    """Pixels of the stop icon's red within rect [l, t, r, b]; the other icons have none."""
    left, top, right, bottom = rect
    count = 0
    for y in range(top, bottom):
        for x in range(left, right):
            red, green, blue = picture.at(x, y)
            count += red > 150 and green < 100 and blue < 100
    return count


def windows_titled(report, title):
    return [w for w in report.windows() if any(s["title"] == title for s in w["states"])]


class FileInTheWayOfTheWorkFolder(ProductTestCase):
    def test_the_file_error_is_reported_and_the_run_ends_cleanly(self):
        # The folder cannot be made, so the very first utility file cannot be created.
        report = self.run_machine(answer="yes", answer_delay_ms=1000, wine_debug=TRACE_CHANNELS,
                                  files={WORK_FOLDER: IN_THE_WAY}, collect=[WORK_FOLDER],
                                  screenshots=["msgbox:" + APP_NAME])
        self.assert_exited_by_itself(report)
        self.assertEqual(report.exit_code, 0)

        question, error = report.message_boxes
        self.assertEqual(question["pressed"], "YES")
        self.assertEqual((error["caption"], error["buttons"]), (APP_NAME, ["OK"]))
        self.assertIn(FIRST_UTILITY_FILE, error["text"])
        self.assertTrue(error["icon"])
        (shot,) = report["screenshots"]
        self.assertTrue(shot["ok"], shot)
        (box_window,) = windows_titled(report, APP_NAME)
        self.assertGreater(red_pixels(Picture(shot["path"]), box_window["states"][-1]["rect"]),
                           100, "the file error's box shows no stop icon")

        # Only once the report is closed does the run go on to its end: no status screen, and
        # the window's own quit message, not the start timer.
        self.assertEqual(error["pressed"], "OK")
        # The driver may see the box gone and the process ended in the same poll.
        self.assertGreaterEqual(report.ended["after_ms"], error["closed_ms"])
        self.assertEqual(report.fullscreen_windows(), [])
        self.assertEqual(report.status_ids, [])
        (status_window,) = windows_titled(report, WINDOW_TITLE)
        trace = ProgramTrace(report, status_window["hwnd"])
        self.assertEqual(trace.timers, [], "a timer was armed after the abandoned start")
        (quit_message,) = trace.posted(WM_UPDATE_QUIT)
        self.assertGreater(quit_message["ms"], error["appeared_ms"])

        # Nothing written: no stamp, and the file in the way is as it was.
        self.assertIsNone(report.registry["version"])
        self.assertEqual(report.work_folder["dir"], False)
        self.assertEqual(report["collected"][WORK_FOLDER], IN_THE_WAY.replace("\r\n", "\n"))


if __name__ == "__main__":
    unittest.main()
