"""The status screen's check on screenshots, on pictures drawn here: a frame in its centred place on
a black cover passes with any text in its band and the block on its track; a frame a few pixels
off, a strip of desktop, a missing frame or a screenshot of another size are each named."""

import io
import os
import tempfile
import unittest

from PIL import Image, ImageDraw

from tools.bench import rules, running, status_screen

WHITE, DESKTOP = (255, 255, 255), (255, 255, 255)


def frame_picture():
    """A 640x480 picture with marks nowhere symmetric, black at its edges as the program's is."""
    picture = Image.new("RGB", (640, 480))
    draw = ImageDraw.Draw(picture)
    draw.ellipse((280, 70, 360, 150), fill=(220, 30, 30))
    draw.rectangle((213, 180, 425, 220), fill=WHITE)
    draw.rectangle((78, 270, 561, 290), fill=(200, 20, 20))
    draw.rectangle((255, 350, 382, 366), outline=(180, 180, 180))
    return picture


def screen(size, at, frame, band_top=310):
    """The screen with the frame at `at`, a text in its band and the block on its track."""
    shot = Image.new("RGB", size)
    shot.paste(frame, tuple(at))
    draw = ImageDraw.Draw(shot)
    draw.rectangle((at[0] + 240, at[1] + band_top + 3, at[0] + 400, at[1] + band_top + 20),
                   fill=WHITE)
    draw.rectangle((at[0] + 300, at[1] + 355, at[0] + 320, at[1] + 361), fill=(40, 200, 40))
    return shot


class Geometry(unittest.TestCase):
    def test_the_frame_must_show_centred_on_a_black_cover_of_the_whole_screen(self):
        frame = frame_picture()

        def desktop(box):
            def paint(shot):
                ImageDraw.Draw(shot).rectangle(box, fill=DESKTOP)
            return paint

        def mark(shot):
            shot.putpixel((80 + 20, 60 + 20), (1, 1, 1))

        for size, shift, change, sentences in [
                ((800, 600), (0, 0), None, []),
                ((3840, 2160), (0, 0), None, []),
                ((800, 600), (3, 0), None, [
                    "the status screen's 640x480 frame shows at (83, 60), not centred at "
                    "(80, 60)"]),
                ((1920, 1080), (-2, 4), None, [
                    "the status screen's 640x480 frame shows at (638, 304), not centred at "
                    "(640, 300)"]),
                ((800, 600), (0, 0), desktop((0, 0, 9, 599)), [
                    "the status screen does not cover the whole screen in black around its "
                    "frame: lit pixels from (0, 0) to (9, 599), where the desktop or another "
                    "window shows"]),
                ((1024, 768), (0, 0), desktop((0, 760, 1023, 767)), [
                    "the status screen does not cover the whole screen in black around its "
                    "frame: lit pixels from (0, 760) to (1023, 767), where the desktop or "
                    "another window shows"]),
                ((800, 600), (0, 0), mark, [
                    "the status screen's 640x480 frame does not show at (80, 60), where it is "
                    "centred, nor near it"])]:
            with self.subTest(size=size, shift=shift, change=change):
                expected = rules.status_screen("en", size)
                x, y = expected["frame_at"]
                shot = screen(size, (x + shift[0], y + shift[1]), frame)
                if change:
                    change(shot)
                self.assertEqual(status_screen.faults(shot, frame, expected), sentences)

    def test_the_band_and_the_track_of_the_korean_screen_are_its_own(self):
        frame, expected = frame_picture(), rules.status_screen("ko", (1024, 768))
        for band_top, sentences in [(300, []), (310, [
                "the status screen's 640x480 frame does not show at (192, 144), where it is "
                "centred, nor near it"])]:
            shot = screen((1024, 768), expected["frame_at"], frame, band_top)
            self.assertEqual(status_screen.faults(shot, frame, expected), sentences, band_top)

    def test_a_screenshot_of_another_size_than_the_machine_s_screen_is_named(self):
        expected = rules.status_screen("en", (800, 600))
        shot = screen((1024, 768), [192, 144], frame_picture())
        self.assertEqual(status_screen.faults(shot, frame_picture(), expected), [
            "the screenshot is 1024x768, not the machine's screen 800x600"])


class Pictures(unittest.TestCase):
    def test_a_bitmap_resource_reads_as_the_picture_it_holds(self):
        # A resource is a BMP file without its 14-byte file header; the colour table and the
        # pixels' offset follow from the bitmap's own header.
        # A full colour table may go uncounted (0 colours used).
        original = frame_picture()
        for mode, counted in [("RGB", True), ("P", True), ("1", True), ("1", False)]:
            with self.subTest(mode=mode, counted=counted):
                drawn = original.convert(mode) if mode != "P" else original.quantize(16)
                stored = io.BytesIO()
                drawn.save(stored, "BMP")
                dib = bytearray(stored.getvalue()[14:])
                if not counted:
                    dib[32:36] = bytes(4)
                read = status_screen.picture(bytes(dib))
                self.assertEqual(read.tobytes(), drawn.convert("RGB").tobytes())

    def test_a_machine_without_a_screenshot_of_its_status_screen_differs(self):
        frame = frame_picture()
        stored = io.BytesIO()
        frame.save(stored, "BMP")
        expected = rules.status_screen("en", (800, 600))
        bench = running.Bench(None, None, None, None, None, 1,
                              bitmaps={expected["picture"]: stored.getvalue()[14:]})
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "shot.png")
            screen((800, 600), [83, 60], frame).save(path)
            for shot, sentences in [
                    ({"at": "status:137", "path": path}, [
                        "the status screen's 640x480 frame shows at (83, 60), not centred at "
                        "(80, 60)"]),
                    ({"at": "msgbox", "path": path},
                     ["no screenshot of the status screen was taken"]),
                    (None, ["no screenshot of the status screen was taken"])]:
                self.assertEqual(bench.screen_differences(expected, shot), sentences, shot)
            self.assertEqual(bench.screen_differences(None, None), [])
            self.assertEqual(running.Bench(None, None, None, None, None, 1).screen_differences(
                expected, {"at": "status:137", "path": path}),
                ["the program carries no picture 135 for its status screen"])


if __name__ == "__main__":
    unittest.main()
