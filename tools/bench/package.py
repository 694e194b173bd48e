"""The package under test: its description (BIOSUpdate.package.json beside BIOSUpdate.exe, written
by the build) and what it is meant for."""

import json
import os

from . import rules

DESCRIPTION_NAME = "BIOSUpdate.package.json"


class PackageError(ValueError):
    pass


def description_path(path):
    """The description named, or the one beside a named executable."""
    if path.lower().endswith(".exe"):
        return os.path.join(os.path.dirname(os.path.abspath(path)), DESCRIPTION_NAME)
    return os.path.abspath(path)


def load(path):
    """The description as a dict, with "path" (of the description) and "exe" (absolute)."""
    path = description_path(path)
    try:
        with open(path, encoding="utf-8") as handle:
            description = json.load(handle)
    except (OSError, ValueError) as error:
        raise PackageError(f"cannot read the package description {path}: {error}") from error
    if description.get("format") != 1:
        raise PackageError(f"{path}: unknown description format {description.get('format')!r}")
    for key in ("executable", "image", "stamp", "payload"):
        if key not in description:
            raise PackageError(f"{path}: the description lacks {key!r}")
    description["path"] = path
    description["exe"] = os.path.join(os.path.dirname(path), description["executable"]["file"])
    if not os.path.isfile(description["exe"]):
        raise PackageError(f"the package's executable is missing: {description['exe']}")
    return description


def target(description, platform=None, running_version=None, stand_in_utility=False):
    """The package's image as the program reads its name, with the platform and the running BIOS
    number the package is meant for: by default the image's own platform and the number one below
    the image's; and whether its flash utility is our stand-in. Raises PackageError on unusable
    values."""
    image = description["image"]["file"]
    image_platform, number = rules.read_version(image)
    platform = rules.upper(platform) if platform is not None else image_platform
    if len(platform) != 5:
        raise PackageError(f"a platform prefix has five characters, not {platform!r}")
    if running_version is None:
        running = number - 1
        if running < 0:
            raise PackageError(f"no older BIOS exists for the image number {number}: name the "
                               "running version it is meant to replace")
    else:
        try:
            running = int(running_version, 16)
        except ValueError:
            raise PackageError(f"the running version is hexadecimal, not "
                               f"{running_version!r}") from None
        if running < 0:
            raise PackageError(f"a running version is not negative: {running_version!r}")
    sizes = {p["file"].lower(): p.get("size") for p in description["payload"]}
    written = [p["file"] for p in description["payload"]
               if p.get("resource") != rules.HELP_INDEX_RESOURCE]
    return {"platform": platform, "running": running, "image": image,
            "image_platform": image_platform, "number": number,
            "image_size": sizes.get(image.lower()), "stamp": description["stamp"],
            "payload": written, "stand_in_utility": stand_in_utility}


def unfit(target):
    """A sentence when the package would not flash the BIOS it is meant to replace."""
    bios = rules.meant_bios(target)
    verdict = rules.decide(bios, target["image_platform"], target["number"])
    if verdict == rules.IDS_UPDATING:
        return []
    why = {rules.IDS_CANNOT_UPDATE: f"of the platform {target['image_platform']}",
           rules.IDS_SAME_VERSION: "the same version", rules.IDS_IMAGE_OLDER: "older"}[verdict]
    return [f"the package is meant to replace the BIOS {bios}, but its image {target['image']} "
            f"is {why}: the program will not flash it there, since the image must be of the "
            "same platform and newer"]
