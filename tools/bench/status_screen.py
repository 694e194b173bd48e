"""The status screen as a screenshot of the whole display shows it: the program's window covers
the screen in black, and its 640x480 picture (the frame) shows at the origin the rules give,
changed only in the text band and on the progress track. The bench checks its screenshots with
this, and so do the end-to-end tests."""

import io
import struct

from PIL import Image

from . import rules

# How far from its place the frame is looked for, to say where it went.
SEARCH_PX = 24


def picture(dib):
    """A bitmap resource (a BMP file without its 14-byte file header) as a Pillow image. The file
    header made for it gives the pixels no offset, so that Pillow reads them where they follow,
    after the bitmap's header and its colour table, however long those are."""
    head = b"BM" + struct.pack("<IHHI", 14 + len(dib), 0, 0, 0)
    with Image.open(io.BytesIO(head + dib)) as opened:
        return opened.convert("RGB")


def rows(image):
    """The rows of a Pillow image as RGB bytes."""
    width, height = image.size
    data = image.convert("RGB").tobytes()
    return [data[y * width * 3:(y + 1) * width * 3] for y in range(height)]


def _compared(frame_rows, band_top):
    """(row, column slices) of the frame that the program never draws over: all but the text
    band's rows and the progress track."""
    left, top, right, bottom = rules.PROGRESS_TRACK
    for y in range(len(frame_rows)):
        if 0 <= y - band_top < rules.BAND_HEIGHT:
            continue
        if top <= y <= bottom:
            yield y, [slice(0, 3 * left), slice(3 * (right + 1), 3 * rules.FRAME_SIZE[0])]
        else:
            yield y, [slice(0, 3 * rules.FRAME_SIZE[0])]


def _frame_at(shot_rows, frame_rows, band_top, x, y):
    """Whether the screen shows the frame at (x, y), but for the band and the track."""
    width, height = rules.FRAME_SIZE
    if x < 0 or y < 0 or y + height > len(shot_rows) or 3 * (x + width) > len(shot_rows[0]):
        return False
    for fy, parts in _compared(frame_rows, band_top):
        seen = shot_rows[y + fy][3 * x:3 * (x + width)]
        if any(seen[part] != frame_rows[fy][part] for part in parts):
            return False
    return True


def _lit_outside(shot_rows, x, y):
    """The bounding box (left, top, right, bottom) of lit pixels outside the frame at (x, y), or
    None when everything there is black."""
    width, height = rules.FRAME_SIZE
    found = []
    for row_number, row in enumerate(shot_rows):
        inside = y <= row_number < y + height
        parts = [(0, row[:3 * x]), (x + width, row[3 * (x + width):])] if inside else [(0, row)]
        for start, part in parts:
            first, end = len(part) - len(part.lstrip(b"\0")), len(part.rstrip(b"\0"))
            if end:
                found.append((start + first // 3, row_number, start + (end - 1) // 3))
    if not found:
        return None
    return (min(f[0] for f in found), found[0][1], max(f[2] for f in found), found[-1][1])


def faults(shot, frame, expected):
    """Sentences naming how a screenshot (a Pillow image) differs from the expected status screen
    (rules.expect's "screen": its size, the frame's origin and the text band's top) showing the
    frame picture `frame`; none when the frame shows where it belongs on a black cover."""
    size, (x, y), band_top = tuple(expected["size"]), expected["frame_at"], expected["band_top"]
    if shot.size != size:
        return [f"the screenshot is {shot.size[0]}x{shot.size[1]}, not the machine's screen "
                f"{size[0]}x{size[1]}"]
    shot_rows, frame_rows = rows(shot), rows(frame)
    found = []
    if not _frame_at(shot_rows, frame_rows, band_top, x, y):
        near = [(dx * dx + dy * dy, x + dx, y + dy)
                for dy in range(-SEARCH_PX, SEARCH_PX + 1)
                for dx in range(-SEARCH_PX, SEARCH_PX + 1)
                if _frame_at(shot_rows, frame_rows, band_top, x + dx, y + dy)]
        if near:
            _, seen_x, seen_y = min(near)
            found.append(f"the status screen's 640x480 frame shows at ({seen_x}, {seen_y}), not "
                         f"centred at ({x}, {y})")
        else:
            found.append(f"the status screen's 640x480 frame does not show at ({x}, {y}), where "
                         "it is centred, nor near it")
        # Lit pixels around a frame out of place are its own.
        return found
    lit = _lit_outside(shot_rows, x, y)
    if lit:
        found.append(f"the status screen does not cover the whole screen in black around its "
                     f"frame: lit pixels from ({lit[0]}, {lit[1]}) to ({lit[2]}, {lit[3]}), "
                     "where the desktop or another window shows")
    return found
