"""Writes the program's bitmaps and icon into a folder (the resource script's include path).

Usage: generate_artwork.py OUTPUT_FOLDER
The output depends on nothing but this code: every run writes the same bytes.
"""

import os
import sys

import dib
import icon
import screens


def artwork():
    """File name -> file contents."""
    icon_pixels, icon_mask = icon.icon_image()
    return {
        "screen.bmp": dib.bmp_24bit(screens.screen_rgb()),
        "screen_ko.bmp": dib.bmp_4bit(screens.screen_korean(), screens.PALETTE),
        "screen_alt.bmp": dib.bmp_4bit(screens.screen_alternative(), screens.PALETTE),
        "progress.bmp": dib.bmp_4bit(screens.progress_block(), screens.PALETTE),
        "mainframe.ico": dib.ico_4bit(icon_pixels, icon.PALETTE, icon_mask),
    }


def write_files(folder, files):
    os.makedirs(folder, exist_ok=True)
    for name, contents in files.items():
        with open(os.path.join(folder, name), "wb") as output:
            output.write(contents)


def main(arguments):
    if len(arguments) != 2:
        sys.stderr.write(__doc__)
        return 2
    write_files(arguments[1], artwork())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
