"""The status screens and the progress block.

All three screens share one layout: black background, artwork in the upper part, a free black band
for the status text (rows 300 to 335) and an empty progress frame in which the program animates the
progress block.
"""

from .canvas import Canvas
from .pixel_font import draw_text

SCREEN_WIDTH = 640
SCREEN_HEIGHT = 480

# Shared by the 4-bit screens and the progress block, as (red, green, blue).
PALETTE = (
    (0, 0, 0),
    (32, 26, 21),
    (70, 70, 70),
    (45, 62, 210),
    (83, 101, 1),
    (178, 53, 5),
    (126, 126, 126),
    (137, 146, 0),
    (94, 127, 252),
    (247, 107, 32),
    (141, 166, 255),
    (142, 220, 4),
    (243, 188, 27),
    (188, 188, 188),
    (252, 252, 252),
    (255, 255, 255),
)
BLACK = 0
DARK_GREY = 2
BLUE = 3
MID_GREY = 6
LIGHT_BLUE = 8
PALE_BLUE = 10
RUST = 5
GREEN = 11
YELLOW = 12
LIGHT_GREY = 13
WHITE = 15

FRAME_LEFT, FRAME_TOP, FRAME_RIGHT, FRAME_BOTTOM = 255, 351, 380, 365


def _draw_progress_frame(canvas, colour):
    """The rounded, empty frame; `colour` maps a palette index to the canvas's own value."""
    light, dark, mid = colour(LIGHT_GREY), colour(DARK_GREY), colour(MID_GREY)
    for y, value in ((FRAME_TOP, light), (FRAME_TOP + 1, dark)):
        canvas.fill_rect(FRAME_LEFT + 3, y, FRAME_RIGHT - 3, y, value)
        mirrored = FRAME_TOP + FRAME_BOTTOM - y
        canvas.fill_rect(FRAME_LEFT + 3, mirrored, FRAME_RIGHT - 3, mirrored, value)
    for x, value in ((FRAME_LEFT, light), (FRAME_LEFT + 1, dark)):
        canvas.fill_rect(x, FRAME_TOP + 3, x, FRAME_BOTTOM - 3, value)
        mirrored = FRAME_LEFT + FRAME_RIGHT - x
        canvas.fill_rect(mirrored, FRAME_TOP + 3, mirrored, FRAME_BOTTOM - 3, value)
    # Offsets from the outer corner, the same in all four corners.
    corner = {(2, 0): mid, (1, 1): mid, (0, 2): mid, (2, 1): dark, (1, 2): dark}
    for (dx, dy), value in corner.items():
        for x in (FRAME_LEFT + dx, FRAME_RIGHT - dx):
            for y in (FRAME_TOP + dy, FRAME_BOTTOM - dy):
                canvas.put(x, y, value)


def _rgb(index):
    return PALETTE[index]


def _same(index):
    return index


def screen_rgb():
    """Screen 135: a red chip logo, the maker's name in white and a red slogan (rows 73 to 291)."""
    red = (220, 30, 30)
    white = _rgb(WHITE)
    canvas = Canvas(SCREEN_WIDTH, SCREEN_HEIGHT, _rgb(BLACK))
    canvas.fill_circle(320, 117, 44, red)
    canvas.fill_rect(300, 97, 340, 137, white)
    for offset in (6, 18, 30):
        canvas.fill_rect(292, 97 + offset, 299, 100 + offset, white)
        canvas.fill_rect(341, 97 + offset, 348, 100 + offset, white)
        canvas.fill_rect(300 + offset, 89, 303 + offset, 96, white)
        canvas.fill_rect(300 + offset, 138, 303 + offset, 145, white)
    canvas.fill_rect(308, 105, 332, 129, red)
    canvas.fill_rect(314, 111, 326, 123, white)
    draw_text(canvas, "TAMREL", 180, 6, white)
    draw_text(canvas, "KEEP YOUR SYSTEM UP TO DATE", 271, 3, red)
    _draw_progress_frame(canvas, _rgb)
    return canvas.rows


def screen_korean():
    """Screen 134: product-line lettering, a rule and a tagline (rows 97 to 252)."""
    canvas = Canvas(SCREEN_WIDTH, SCREEN_HEIGHT, BLACK)
    draw_text(canvas, "BIOS UPDATE", 97, 8, WHITE)
    canvas.fill_rect(100, 172, 539, 175, WHITE)
    draw_text(canvas, "FIRMWARE CARE FOR YOUR NOTEBOOK", 232, 3, YELLOW)
    _draw_progress_frame(canvas, _same)
    return canvas.rows


def screen_alternative():
    """Screen 131: a four-colour emblem (rows 86 to 232)."""
    canvas = Canvas(SCREEN_WIDTH, SCREEN_HEIGHT, BLACK)
    for centre_x, centre_y, colour in (
        (320, 122, RUST),
        (357, 159, GREEN),
        (320, 196, LIGHT_BLUE),
        (283, 159, YELLOW),
    ):
        canvas.fill_circle(centre_x, centre_y, 36, colour)
    canvas.fill_circle(320, 159, 14, WHITE)
    _draw_progress_frame(canvas, _same)
    return canvas.rows


# One row of palette indices per block row; each row gives the colour of the three segments.
_PROGRESS_SEGMENTS = (
    (BLUE, BLUE, BLUE),
    (LIGHT_BLUE, LIGHT_BLUE, LIGHT_BLUE),
    (PALE_BLUE, PALE_BLUE, PALE_BLUE),
    (PALE_BLUE, PALE_BLUE, PALE_BLUE),
    (LIGHT_BLUE, LIGHT_BLUE, PALE_BLUE),
    (BLUE, LIGHT_BLUE, LIGHT_BLUE),
    (BLUE, BLUE, LIGHT_BLUE),
    (BLUE, BLUE, BLUE),
    (BLUE, BLUE, BLUE),
)


def progress_block():
    """Bitmap 132: three 6-pixel segments with 2-pixel black gaps, 22 x 9."""
    rows = []
    for segments in _PROGRESS_SEGMENTS:
        row = []
        for number, colour in enumerate(segments):
            if number:
                row += [BLACK, BLACK]
            row += [colour] * 6
        rows.append(row)
    return rows
