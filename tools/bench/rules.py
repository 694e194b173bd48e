"""What BIOSUpdate.exe must do on a machine, derived from the machine and from what the package is
meant for: the platform prefix and image number it should carry, its image file name and its
version stamp. Written from the program's rules of behaviour, not from its code, so that the bench
can hold the two against each other."""

import string

# String table ids of the texts the program shows.
STATUS_LOADING, STATUS_VERIFYING, STATUS_CANNOT_UPDATE = 131, 132, 133
STATUS_CHECKING, STATUS_UPDATING, STATUS_INITIALIZING = 135, 137, 138
STATUS_IMAGE_OLDER, STATUS_SAME_VERSION = 141, 142
TEXT_LOW_BATTERY, TEXT_CONFIRM, TEXT_NO_AC = 136, 139, 140
# Captions are built into the program, not taken from the string table.
POWER_CAPTION = "BIOS Update"
QUESTION_CAPTION = "BIOS update"

LOWEST_CHARGE = 20
DEFAULT_PROGRAM_FILES = r"C:\Program Files"
UTILITY = "SWinFlash.exe"
SWITCHES = "/BU=BIOS.bak /C /MFG /P /S /V /mode=2"
BACKUP = "BIOS.bak"
# The utility's help index is carried but never written out.
HELP_INDEX_RESOURCE = 164

# The program's pauses between what can be seen of it, in ms: from the answer to the first text,
# between consecutive texts, and from the decision's text to the end of the run.
ANSWER_TO_INITIALIZING = 2000
INITIALIZING_TO_LOADING = 500 + 1000 + 2000  # start timer, worker start, look-up to loading
STEP = 2000
CHECKING_TO_UPDATING = 4000
SHOWN_BEFORE_END = {STATUS_CANNOT_UPDATE: 3000, STATUS_IMAGE_OLDER: 5000,
                    STATUS_SAME_VERSION: 5000, STATUS_UPDATING: 1000}

OUTCOMES = {STATUS_UPDATING: "flash", STATUS_SAME_VERSION: "same version",
            STATUS_IMAGE_OLDER: "running BIOS newer", STATUS_CANNOT_UPDATE: "cannot update"}

_INT32_MIN, _INT32_MAX = -2 ** 31, 2 ** 31 - 1


def upper(text):
    """Upper-cases as the program does: ASCII letters only."""
    return "".join(c.upper() if "a" <= c <= "z" else c for c in text)


def mid(text, first, count):
    """A substring that never reaches past the end; negative arguments count as 0."""
    first, count = max(first, 0), max(count, 0)
    return text[first:first + count]


def strtol16(text):
    """The C library's strtol with base 16, saturating at the signed 32-bit range."""
    i = 0
    while i < len(text) and text[i] in " \t\n\v\f\r":
        i += 1
    sign = 1
    if i < len(text) and text[i] in "+-":
        sign = -1 if text[i] == "-" else 1
        i += 1
    if text[i:i + 2] in ("0x", "0X") and text[i + 2:i + 3] in tuple(string.hexdigits):
        i += 2
    end = i
    while end < len(text) and text[end] in string.hexdigits:
        end += 1
    value = sign * int(text[i:end], 16) if end > i else 0
    return min(max(value, _INT32_MIN), _INT32_MAX)


def read_version(text):
    """(platform prefix, version number) of an image file name or a running BIOS version."""
    text = upper(text)
    return mid(text, 0, 5), strtol16(mid(text, 5, 8))


def decide(running_bios, platform, image_number):
    """The worker's verdict: the status text that ends its checks."""
    prefix, running = read_version(running_bios)
    if prefix != platform:
        return STATUS_CANNOT_UPDATE
    if image_number < running:
        return STATUS_IMAGE_OLDER
    if image_number == running:
        return STATUS_SAME_VERSION
    return STATUS_UPDATING


def power_gate(ac, battery):
    """The refusal's text id, or None when the run may go on. battery None: no battery (255)."""
    if ac == "off":
        return TEXT_NO_AC
    if battery is not None and battery < LOWEST_CHARGE:
        return TEXT_LOW_BATTERY
    return None


def work_folder(program_files):
    return (program_files or DEFAULT_PROGRAM_FILES) + "\\BIOSUPDATE"


def _box(caption, text_id, buttons, pressed):
    return {"role": "first", "caption": caption, "text_id": text_id, "buttons": buttons,
            "pressed": pressed}


def expect(machine, target):
    """The expected outcome of one machine (see matrix.py) for a target: platform, number,
    image (file name), image_size, stamp, payload (file names the utility finds beside it)."""
    result = {"outcome": None, "boxes": [], "status": [], "shown_before_end_ms": None,
              "utility": None, "stamp": None, "left": None, "autostart": False,
              "ended": "stopped" if machine["second_instance"] else "exited",
              "second_instance": "exits silently" if machine["second_instance"] else None}
    if machine["second_instance"]:
        result["outcome"] = "second instance ignored"
    if machine["args"] == "1":
        result["outcome"] = "clean-up"
        return result
    refusal = power_gate(machine["ac"], machine["battery"])
    if refusal:
        result["boxes"] = [_box(POWER_CAPTION, refusal, ["OK"], "OK")]
        result["outcome"] = "no mains" if refusal == TEXT_NO_AC else "low battery"
        return result
    pressed = {"yes": "YES", "no": "NO", "none": None}[machine["answer"]]
    result["boxes"] = [_box(QUESTION_CAPTION, TEXT_CONFIRM, ["YES", "NO"], pressed)]
    if pressed != "YES":
        result["outcome"] = result["outcome"] or "declined"
        return result
    verdict = decide(machine["bios_version"], target["platform"], target["number"])
    flash = verdict == STATUS_UPDATING
    steps = [(STATUS_INITIALIZING, ANSWER_TO_INITIALIZING),
             (STATUS_LOADING, INITIALIZING_TO_LOADING), (STATUS_VERIFYING, STEP),
             (STATUS_CHECKING if flash else verdict, STEP)]
    if flash:
        steps.append((STATUS_UPDATING, CHECKING_TO_UPDATING))
    result.update(outcome=OUTCOMES[verdict], stamp=target["stamp"],
                  status=[{"id": i, "after_ms": ms} for i, ms in steps],
                  shown_before_end_ms=SHOWN_BEFORE_END[verdict])
    if flash:
        folder = work_folder(machine["program_files"])
        image = upper(target["image"])
        result["utility"] = {
            "command_line": f'"{folder}\\{UTILITY}" {SWITCHES} {image}', "folder": folder,
            "image": image, "image_size": target["image_size"], "backup": BACKUP,
            "files": sorted(target["payload"])}
        # The clean-up runs while the utility's backup is still there, so the folder stays.
        result["left"] = {}
    return result
