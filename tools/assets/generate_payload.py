"""Writes the default payload that stands in for the vendor's files.

Writes the utility's configuration file as INI_NAME, the demo BIOS image as IMAGE_NAME and one
marked placeholder for each PLACEHOLDER_NAME into OUTPUT_FOLDER. The flash utility itself is the
stand-in program built from tools/flashstub. Every run writes the same bytes.

Exit status: 0 when the files are written, 1 when they cannot be, 2 on bad usage."""

import argparse
import hashlib
import sys

from .generate_artwork import write_files

INI_LINES = (
    "[UI]",
    "Advanced=1",
    ";DetectBitLocker=1",
    "",
    "[Main]",
    "RetryCount=3",
    "UpdateMode=3",
    "FormatVersion=2",
    "UpdateFlags=802986",
    "UserFlags=802184",
    "UserMask=d121a4",
    "PSIFlags=20",
    "UserMode=ffffffff",
    "BackupFile=bios.bak",
    "ImageFile=915RomPack.ROM",
    "ShutDown=1",
) + ("",) * 16

IMAGE_SIZE = 1053222
IMAGE_HEADER = b"BIOSUpdate demo BIOS image: a stand-in, not firmware.\r\n"
IMAGE_SEED = b"BIOSUpdate demo image"
# How every placeholder begins, so that the package lint knows one wherever it turns up.
PLACEHOLDER_MARK = b"BIOSUpdate placeholder for "


def phlash_ini():
    # Built here rather than checked in, so no line-ending conversion can touch it.
    return "".join(line + "\r\n" for line in INI_LINES).encode("ascii")


def demo_image():
    """A readable header, then pseudo-random bytes from SHA-256 in counter mode."""
    blocks = [IMAGE_HEADER]
    length = len(IMAGE_HEADER)
    counter = 0
    while length < IMAGE_SIZE:
        block = hashlib.sha256(IMAGE_SEED + counter.to_bytes(4, "little")).digest()
        blocks.append(block)
        length += len(block)
        counter += 1
    return b"".join(blocks)[:IMAGE_SIZE]


def placeholder(name):
    return PLACEHOLDER_MARK + (
        f"{name}\r\n"
        f"This file is a stand-in, not the vendor's {name}. It is carried by the default "
        "payload so that the program can be built and tested without the vendor's files.\r\n"
    ).encode("ascii")


def stand_in(contents):
    """Which of this payload's stand-ins the contents are, by their marks, or None."""
    if contents.startswith(IMAGE_HEADER):
        return "our demo image"
    if contents.startswith(PLACEHOLDER_MARK):
        return "our placeholders"
    return None


def payload(ini_name, image_name, placeholder_names):
    """File name -> file contents."""
    files = {ini_name: phlash_ini(), image_name: demo_image()}
    for name in placeholder_names:
        if name in files:
            raise ValueError(f"{name} is generated with its own contents")
        files[name] = placeholder(name)
    return files


def main(arguments):
    parser = argparse.ArgumentParser(prog="python3 -m tools.assets.generate_payload",
                                     description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("folder", metavar="OUTPUT_FOLDER")
    parser.add_argument("ini_name", metavar="INI_NAME")
    parser.add_argument("image_name", metavar="IMAGE_NAME")
    parser.add_argument("placeholders", metavar="PLACEHOLDER_NAME", nargs="*")
    options = parser.parse_args(arguments)
    try:
        files = payload(options.ini_name, options.image_name, options.placeholders)
        write_files(options.folder, files)
    except (OSError, ValueError) as error:
        print(f"generate_payload: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
