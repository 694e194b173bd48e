"""The status screen's check on screenshots drawn here: the frame in its centred place on a black
cover passes with a text in its band and the block on its track; a frame a few pixels off, a strip
of desktop or a changed frame are each named."""

import unittest

from PIL import Image, ImageDraw

from tools.bench import rules, status_screen

OFF = "the status screen's 640x480 frame shows at ({}), not centred at ({})"
UNCOVERED = ("the status screen does not cover the whole screen in black around its frame: lit "
             "pixels from ({}) to ({}), where the desktop or another window shows")


def frame_picture():
    """Marks nowhere symmetric, the edges black as the program's are."""
    picture = Image.new("RGB", (640, 480))
    draw = ImageDraw.Draw(picture)
    draw.ellipse((280, 70, 360, 150), fill=(220, 30, 30))
    draw.rectangle((78, 270, 561, 290), fill=(200, 20, 20))
    return picture


def screen(size, at, frame):
    """The screen with the frame at `at`, a text in its band and the block on its track."""
    shot = Image.new("RGB", size)
    shot.paste(frame, tuple(at))
    draw = ImageDraw.Draw(shot)
    draw.rectangle((at[0] + 240, at[1] + 313, at[0] + 400, at[1] + 330), fill="white")
    draw.rectangle((at[0] + 300, at[1] + 355, at[0] + 320, at[1] + 361), fill=(40, 200, 40))
    return shot


class Geometry(unittest.TestCase):
    def test_the_frame_must_show_centred_on_a_black_cover_of_the_whole_screen(self):
        frame = frame_picture()
        # (screen, the frame's shift from its place, a white rectangle painted over, sentences)
        for size, shift, painted, sentences in [
                ((800, 600), (0, 0), None, []), ((3840, 2160), (0, 0), None, []),
                ((800, 600), (3, 0), None, [OFF.format("83, 60", "80, 60")]),
                ((1920, 1080), (-2, 4), None, [OFF.format("638, 304", "640, 300")]),
                ((800, 600), (0, 0), (0, 0, 9, 599), [UNCOVERED.format("0, 0", "9, 599")]),
                ((800, 600), (0, 0), (100, 80, 100, 80), [
                    "the status screen's 640x480 frame does not show at (80, 60), where it is "
                    "centred, nor near it"])]:
            expected = rules.status_screen("en", size)
            x, y = expected["frame_at"]
            shot = screen(size, (x + shift[0], y + shift[1]), frame)
            if painted:
                ImageDraw.Draw(shot).rectangle(painted, fill="white")
            self.assertEqual(status_screen.faults(shot, frame, expected), sentences,
                             (size, shift, painted))


if __name__ == "__main__":
    unittest.main()
