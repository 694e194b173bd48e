"""The status screen of a whole run, as screenshots show it: the frame centred on the black screen,
the background of the system language, the status text in its band and the progress block on its
track."""

import os
import subprocess
import unittest

from e2e_support import ProductTestCase

FRAME_WIDTH, FRAME_HEIGHT = 640, 480
BAND_HEIGHT = 25
# The track's dark interior, where the block moves.
TRACK = (259, 354, 378, 362)
BLOCK_COLOURS = {(45, 62, 210), (94, 127, 252), (141, 166, 255)}
BLACK = (0, 0, 0)
# Two moments of a run that flashes: a single one could fall on a step without a block.
SHOT_STATUSES = ["status:132", "status:135"]

LOCALES = {
    "en": {"background": "screen.bmp", "band_top": 310},
    "ko": {"background": "screen_ko.bmp", "band_top": 300},
}
SCREENS = {
    (1024, 768): (192, 144),
    (800, 600): (80, 60),
}


class Picture:
    """The pixels of an image file, read through ImageMagick."""

    def __init__(self, path):
        size = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                              capture_output=True, text=True).stdout.split()
        self.width, self.height = int(size[0]), int(size[1])
        self.data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True,
                                   capture_output=True).stdout
        if len(self.data) != self.width * self.height * 3:
            raise AssertionError(f"{path}: {len(self.data)} bytes for {self.width}x{self.height}")

    def at(self, x, y):
        offset = (y * self.width + x) * 3
        return tuple(self.data[offset:offset + 3])


def artwork_path(exe, name):
    # The product tree keeps the generated artwork that its resources were built from.
    return os.path.join(os.path.dirname(exe), "res", "artwork", name)


class StatusScreen(ProductTestCase):
    def check_screenshot(self, shot, background, frame_x, frame_y, band_top):
        """Returns the columns of the block found on the track (empty when none shows)."""
        outside = []
        frame_mismatch = []
        band_lit_rows = set()
        band_lit_columns = set()
        block_columns = set()
        stray_track = []
        for y in range(shot.height):
            for x in range(shot.width):
                pixel = shot.at(x, y)
                fx, fy = x - frame_x, y - frame_y
                if not (0 <= fx < FRAME_WIDTH and 0 <= fy < FRAME_HEIGHT):
                    if pixel != BLACK:
                        outside.append((x, y, pixel))
                    continue
                if band_top <= fy < band_top + BAND_HEIGHT:
                    if pixel != background.at(fx, fy):
                        band_lit_rows.add(fy)
                        band_lit_columns.add(fx)
                    continue
                if TRACK[0] <= fx <= TRACK[2] and TRACK[1] <= fy <= TRACK[3]:
                    if pixel in BLOCK_COLOURS:
                        block_columns.add(fx)
                    elif pixel != BLACK:
                        stray_track.append((fx, fy, pixel))
                    continue
                if pixel != background.at(fx, fy):
                    frame_mismatch.append((fx, fy, pixel, background.at(fx, fy)))
        self.assertEqual(outside[:5], [], f"{len(outside)} lit pixels outside the frame")
        self.assertEqual(frame_mismatch[:5], [],
                         f"{len(frame_mismatch)} frame pixels differ from the background")
        self.assertEqual(stray_track[:5], [], "foreign colours on the track")

        # The text starts in the first rows of its band (a band ten rows lower would start it
        # below them) and is centred; below the band it would have shown as a frame mismatch.
        self.assertTrue(band_lit_rows, "no status text in the band")
        self.assertGreaterEqual(min(band_lit_rows), band_top)
        self.assertLess(min(band_lit_rows), band_top + 10)
        left, right = min(band_lit_columns), max(band_lit_columns)
        self.assertLessEqual(abs(left - (FRAME_WIDTH - 1 - right)), 4, (left, right))

        if block_columns:
            first, last = min(block_columns), max(block_columns)
            self.assertLessEqual(last - first + 1, 22, sorted(block_columns))
        return block_columns

    def run_and_check(self, locale, screen):
        frame_x, frame_y = SCREENS[screen]
        background_path = artwork_path(self.exe, LOCALES[locale]["background"])
        self.assertTrue(os.path.isfile(background_path), background_path)
        background = Picture(background_path)
        self.assertEqual((background.width, background.height), (FRAME_WIDTH, FRAME_HEIGHT))

        report = self.run_machine(locale=locale, screen=screen, answer="yes",
                                  screenshots=SHOT_STATUSES)
        self.assert_exited_by_itself(report)
        shots = report["screenshots"]
        self.assertEqual([shot["at"] for shot in shots], SHOT_STATUSES)
        blocks_seen = 0
        for shot in shots:
            with self.subTest(shot=shot["at"]):
                self.assertTrue(shot["ok"], shot)
                picture = Picture(shot["path"])
                self.assertEqual((picture.width, picture.height), screen)
                blocks = self.check_screenshot(picture, background, frame_x, frame_y,
                                               LOCALES[locale]["band_top"])
                blocks_seen += 1 if blocks else 0
        self.assertGreater(blocks_seen, 0, "the progress block never showed")

    def test_english_system(self):
        self.run_and_check("en", (1024, 768))

    def test_korean_system(self):
        self.run_and_check("ko", (1024, 768))

    def test_frame_follows_the_screen_size(self):
        self.run_and_check("en", (800, 600))


if __name__ == "__main__":
    unittest.main()
