"""Encoding of device-independent bitmaps: BMP files and single-image ICO files.

Pixels are given top-down as rows of values: palette indices for 4-bit images, (red, green, blue)
tuples for 24-bit images. Files are written bottom-up, uncompressed (BI_RGB), as Windows loads them.
"""

import struct

BI_RGB = 0
BITMAPINFOHEADER_SIZE = 40
BITMAPFILEHEADER_SIZE = 14


def _stride(width, bits_per_pixel):
    """Bytes per stored row: every row is padded to a multiple of four bytes."""
    return (width * bits_per_pixel + 31) // 32 * 4


def _pack_row_4bit(row):
    data = bytearray(_stride(len(row), 4))
    for x, index in enumerate(row):
        if not 0 <= index <= 15:
            raise ValueError(f"palette index {index} out of range")
        data[x // 2] |= index << 4 if x % 2 == 0 else index
    return bytes(data)


def _pack_row_24bit(row):
    data = bytearray(_stride(len(row), 24))
    for x, (red, green, blue) in enumerate(row):
        data[3 * x:3 * x + 3] = bytes((blue, green, red))
    return bytes(data)


def _pack_mask_row(row):
    data = bytearray(_stride(len(row), 1))
    for x, transparent in enumerate(row):
        if transparent:
            data[x // 8] |= 0x80 >> (x % 8)
    return bytes(data)


def _bottom_up(rows, pack):
    return b"".join(pack(row) for row in reversed(rows))


def _info_header(width, height, bits_per_pixel, image_size, colours_used):
    return struct.pack(
        "<IiiHHIIiiII",
        BITMAPINFOHEADER_SIZE,
        width,
        height,
        1,
        bits_per_pixel,
        BI_RGB,
        image_size,
        0,
        0,
        colours_used,
        0,
    )


def _palette_bytes(palette):
    if len(palette) != 16:
        raise ValueError("a 4-bit image needs a 16-entry palette")
    return b"".join(bytes((blue, green, red, 0)) for red, green, blue in palette)


def _check_rectangular(rows):
    width = len(rows[0])
    if any(len(row) != width for row in rows):
        raise ValueError("rows differ in length")
    return width, len(rows)


def _file_header(info_and_bits, bits_offset):
    size = BITMAPFILEHEADER_SIZE + len(info_and_bits)
    return b"BM" + struct.pack("<IHHI", size, 0, 0, bits_offset)


def bmp_4bit(rows, palette):
    """A 4-bit BMP file of the palette-index rows."""
    width, height = _check_rectangular(rows)
    bits = _bottom_up(rows, _pack_row_4bit)
    info = _info_header(width, height, 4, len(bits), 16) + _palette_bytes(palette)
    return _file_header(info + bits, BITMAPFILEHEADER_SIZE + len(info)) + info + bits


def bmp_24bit(rows):
    """A 24-bit BMP file of the RGB rows."""
    width, height = _check_rectangular(rows)
    bits = _bottom_up(rows, _pack_row_24bit)
    info = _info_header(width, height, 24, len(bits), 0)
    return _file_header(info + bits, BITMAPFILEHEADER_SIZE + len(info)) + info + bits


def ico_4bit(rows, palette, transparent):
    """An ICO file with one 4-bit image and its AND mask (True in `transparent` lets through)."""
    width, height = _check_rectangular(rows)
    if _check_rectangular(transparent) != (width, height):
        raise ValueError("mask and image differ in size")
    if width > 255 or height > 255:
        raise ValueError("icon too large for its directory entry")
    colour_bits = _bottom_up(rows, _pack_row_4bit)
    mask_bits = _bottom_up(transparent, _pack_mask_row)
    # An icon image's height counts the colour bits and the mask together.
    image = (
        _info_header(width, 2 * height, 4, len(colour_bits) + len(mask_bits), 16)
        + _palette_bytes(palette)
        + colour_bits
        + mask_bits
    )
    directory = struct.pack("<HHH", 0, 1, 1)
    entry_size = 16
    entry = struct.pack(
        "<BBBBHHII", width, height, 16, 0, 1, 4, len(image), len(directory) + entry_size
    )
    return directory + entry + image
