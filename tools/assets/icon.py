"""The program's icon: two grey hexagonal nuts on a threaded bolt, 32 x 32, 16 colours."""

from .canvas import Canvas

SIZE = 32

# The standard 16-colour icon palette, as (red, green, blue).
PALETTE = (
    (0, 0, 0),
    (191, 0, 0),
    (0, 191, 0),
    (191, 191, 0),
    (0, 0, 191),
    (191, 0, 191),
    (0, 191, 191),
    (192, 192, 192),
    (128, 128, 128),
    (255, 0, 0),
    (0, 255, 0),
    (255, 255, 0),
    (0, 0, 255),
    (255, 0, 255),
    (0, 255, 255),
    (255, 255, 255),
)
BLACK = 0
SILVER = 7
GREY = 8
WHITE = 15
_EMPTY = None


def _hexagon(centre_x, centre_y, radius):
    """Corners of a hexagon standing on a point, in whole pixels."""
    half = radius // 2
    across = radius * 7 // 8
    return [
        (centre_x, centre_y - radius),
        (centre_x + across, centre_y - half),
        (centre_x + across, centre_y + half),
        (centre_x, centre_y + radius),
        (centre_x - across, centre_y + half),
        (centre_x - across, centre_y - half),
    ]


def _draw_nut(canvas, centre_x, centre_y):
    canvas.fill_polygon(_hexagon(centre_x, centre_y, 8), BLACK)
    canvas.fill_polygon(_hexagon(centre_x, centre_y, 7), GREY)
    canvas.fill_polygon(_hexagon(centre_x - 1, centre_y - 1, 6), SILVER)
    canvas.fill_rect(centre_x - 3, centre_y - 5, centre_x - 1, centre_y - 4, WHITE)
    # The bolt runs through the nut's bore.
    canvas.fill_circle(centre_x, centre_y, 2, BLACK)
    canvas.put(centre_x, centre_y, GREY)


def _draw_bolt(canvas):
    top, bottom = 14, 18
    canvas.fill_rect(0, top - 1, 31, bottom + 1, BLACK)
    for x in range(1, 31):
        thread = SILVER if x % 3 else GREY
        canvas.fill_rect(x, top, x, bottom, thread)
        canvas.put(x, top, WHITE if x % 3 else GREY)


def icon_image():
    """(rows of palette indices, rows of transparency flags) of the icon."""
    canvas = Canvas(SIZE, SIZE, _EMPTY)
    _draw_bolt(canvas)
    _draw_nut(canvas, 8, 16)
    _draw_nut(canvas, 23, 16)
    pixels = [[BLACK if value is _EMPTY else value for value in row] for row in canvas.rows]
    transparent = [[value is _EMPTY for value in row] for row in canvas.rows]
    return pixels, transparent
