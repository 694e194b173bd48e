"""Block lettering from a 5 x 7 pixel font, scaled by whole pixels."""

GLYPH_WIDTH = 5
GLYPH_HEIGHT = 7

_GLYPHS = {
    "A": ("01110", "10001", "10001", "11111", "10001", "10001", "10001"),
    "B": ("11110", "10001", "10001", "11110", "10001", "10001", "11110"),
    "C": ("01110", "10001", "10000", "10000", "10000", "10001", "01110"),
    "D": ("11110", "10001", "10001", "10001", "10001", "10001", "11110"),
    "E": ("11111", "10000", "10000", "11110", "10000", "10000", "11111"),
    "F": ("11111", "10000", "10000", "11110", "10000", "10000", "10000"),
    "I": ("11111", "00100", "00100", "00100", "00100", "00100", "11111"),
    "K": ("10001", "10010", "10100", "11000", "10100", "10010", "10001"),
    "L": ("10000", "10000", "10000", "10000", "10000", "10000", "11111"),
    "M": ("10001", "11011", "10101", "10101", "10001", "10001", "10001"),
    "N": ("10001", "11001", "10101", "10011", "10001", "10001", "10001"),
    "O": ("01110", "10001", "10001", "10001", "10001", "10001", "01110"),
    "P": ("11110", "10001", "10001", "11110", "10000", "10000", "10000"),
    "R": ("11110", "10001", "10001", "11110", "10100", "10010", "10001"),
    "S": ("01111", "10000", "10000", "01110", "00001", "00001", "11110"),
    "T": ("11111", "00100", "00100", "00100", "00100", "00100", "00100"),
    "U": ("10001", "10001", "10001", "10001", "10001", "10001", "01110"),
    "W": ("10001", "10001", "10001", "10101", "10101", "11011", "10001"),
    "Y": ("10001", "10001", "01010", "00100", "00100", "00100", "00100"),
    " ": ("00000",) * GLYPH_HEIGHT,
}


def text_width(text, scale):
    """Width in pixels: glyphs one font pixel apart."""
    return (len(text) * (GLYPH_WIDTH + 1) - 1) * scale if text else 0


def draw_text(canvas, text, top, scale, value, centre_x=None):
    """Draws text with its top row at `top`, centred on centre_x (default: the canvas centre)."""
    if centre_x is None:
        centre_x = canvas.width // 2
    left = centre_x - text_width(text, scale) // 2
    for position, character in enumerate(text):
        glyph = _GLYPHS[character]
        glyph_left = left + position * (GLYPH_WIDTH + 1) * scale
        for row, bits in enumerate(glyph):
            for column, bit in enumerate(bits):
                if bit == "1":
                    x = glyph_left + column * scale
                    y = top + row * scale
                    canvas.fill_rect(x, y, x + scale - 1, y + scale - 1, value)
