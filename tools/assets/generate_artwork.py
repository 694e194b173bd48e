"""Writes the program's bitmaps and icon into a folder (the resource script's include path).

The output depends on nothing but this code: every run writes the same bytes.

Exit status: 0 when the files are written, 1 when they cannot be, 2 on bad usage."""

import argparse
import os
import sys

from . import dib, icon, screens


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
    parser = argparse.ArgumentParser(prog="python3 -m tools.assets.generate_artwork",
                                     description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("folder", metavar="OUTPUT_FOLDER")
    options = parser.parse_args(arguments)
    try:
        write_files(options.folder, artwork())
    except OSError as error:
        print(f"generate_artwork: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
