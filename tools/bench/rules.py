"""What BIOSUpdate.exe must do on a machine, derived from the machine and from the package: the
image it carries (its file name, platform prefix and number), its version stamp, and the BIOS it
is meant to replace. Written from the program's rules of behaviour, not from its code, so that the
bench can hold the two against each other."""

import string

# String table ids (the program's own names) of the texts it shows.
IDS_APP_TITLE, IDS_LOADING, IDS_VERIFYING, IDS_CANNOT_UPDATE = 129, 131, 132, 133
IDS_CHECKING, IDS_LOW_BATTERY, IDS_UPDATING, IDS_INITIALIZING = 135, 136, 137, 138
IDS_CONFIRM, IDS_NO_AC, IDS_IMAGE_OLDER, IDS_SAME_VERSION = 139, 140, 141, 142
# Captions are built into the program, not taken from the string table.
POWER_CAPTION = "BIOS Update"
QUESTION_CAPTION = "BIOS update"
# The status screen: a window covering the whole screen in black, with a 640x480 picture (the
# frame) centred on it, chosen by the system's language; the text band is 25 rows high from its
# row 300 on Korean systems, else 310; the progress block moves on the track's interior.
FRAME_SIZE = (640, 480)
IDB_SCREEN_KO, IDB_SCREEN = 134, 135
SCREEN_PICTURES = {"ko": IDB_SCREEN_KO}
BAND_TOPS = {"ko": 300}
BAND_TOP, BAND_HEIGHT = 310, 25
PROGRESS_TRACK = (259, 354, 378, 362)

LOWEST_CHARGE = 20
DEFAULT_PROGRAM_FILES = r"C:\Program Files"
UTILITY = "SWinFlash.exe"
SWITCHES = "/BU=BIOS.bak /C /MFG /P /S /V /mode=2"
BACKUP = "BIOS.bak"
# What the program writes beside the image: the utility and the libraries and drivers it loads.
UTILITY_FILES = [UTILITY, "mfc42.dll", "msvcp60.dll", "msvcrt.dll", "PHLASH.INI", "PhlashLc.dll",
                 "Phlash9X.vxd", "PhlashNT.sys"]
# What the clean-up deletes besides those and the image: the utility's help index and its log.
UTILITY_LEFTOVERS = ["WINPHLASH.GID", "PHLASH.txt"]
# The utility's help index is carried but never written out.
HELP_INDEX_RESOURCE = 164
# The value the clean-up removes, and where the worker stamps the package's version.
AUTOSTART_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
AUTOSTART_VALUE = "BIOSUpdate"
VERSION_KEY = r"HKEY_USERS\.DEFAULT\Software\Tamrel\BIOSUPDATE\Parameters"
VERSION_VALUE = "Version"

# The program's pauses between what can be seen of it, in ms: the window's pause from the answer
# to its first text; its start timer; the worker's pause before its look-up of the image and,
# with the image found, to the first text after it; the worker's steps; from the decision's text
# to the end of the run, or on the flash path to the utility's start; and from the utility's end
# (it runs as long as it runs) to the end of the run: the stamp, the finishing message, the
# clean-up.
ANSWER_TO_INITIALIZING = 2000
START_TIMER = 500
WORKER_START_TO_LOOK_UP = 1000
LOOK_UP_TO_LOADING = 2000
STEP = 2000
CHECKING_TO_UPDATING = 4000
UPDATING_TO_UTILITY = 1000
SHOWN_BEFORE_END = {IDS_CANNOT_UPDATE: 3000, IDS_IMAGE_OLDER: 5000, IDS_SAME_VERSION: 5000}
UTILITY_TO_END = 0
# The timers of the status window: its animation's period, and the exit timer the worker arms on
# the paths without a flash (the finishing message posted right after it ends the run first).
ANIMATION_PERIOD = 100
EXIT_TIMER = 3000

# The command-line number that selects the clean-up mode, read as "%d" reads it: after blanks, with
# a sign, leading zeros or text after the digits too. Each form the matrix tries, by its row's name.
CLEAN_UP_NUMBER = 1
CLEAN_UP_FORMS = {"1": "clean-up-mode", " 1": "clean-up-leading-blank",
                  "+1": "clean-up-plus-sign", "01": "clean-up-leading-zero",
                  "1 x": "clean-up-text-after"}

OUTCOMES = {IDS_UPDATING: "flash", IDS_SAME_VERSION: "same version",
            IDS_IMAGE_OLDER: "running BIOS newer", IDS_CANNOT_UPDATE: "cannot update"}

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


def version_text(text):
    """(platform prefix, the text the number is read from) of an image file name or a running
    BIOS version."""
    text = upper(text)
    return mid(text, 0, 5), mid(text, 5, 8)


def read_version(text):
    """(platform prefix, version number) of an image file name or a running BIOS version."""
    prefix, number = version_text(text)
    return prefix, strtol16(number)


def command_line_number(args):
    """The number sscanf's "%d" reads from the argument text, or None when it reads none."""
    text = (args or "").lstrip(" \t\n\v\f\r")
    sign = text[:1] if text[:1] in ("+", "-") else ""
    digits = text[len(sign):]
    digits = digits[:len(digits) - len(digits.lstrip("0123456789"))]
    return int(sign + digits) if digits else None


def meant_bios(target):
    """The running BIOS version the package is meant to replace."""
    return f"{target['platform']}{target['running']:X}"


def decide(running_bios, platform, image_number):
    """The worker's verdict: the status text that ends its checks, for an image of `platform`
    numbered `image_number`."""
    prefix, running = read_version(running_bios)
    if prefix != platform:
        return IDS_CANNOT_UPDATE
    if image_number < running:
        return IDS_IMAGE_OLDER
    if image_number == running:
        return IDS_SAME_VERSION
    return IDS_UPDATING


def power_gate(ac, battery):
    """The refusal's text id, or None when the run may go on. battery None: no battery (255)."""
    if ac == "off":
        return IDS_NO_AC
    if battery is not None and battery < LOWEST_CHARGE:
        return IDS_LOW_BATTERY
    return None


def work_folder(program_files):
    """The work folder in the Program Files folder, in the folder's own letters: the program takes
    the path in the system's ANSI code page and hands it back to the system in the same one, so any
    name that code page can write serves as well as an English one."""
    return (program_files or DEFAULT_PROGRAM_FILES) + "\\BIOSUPDATE"


def frame_origin(screen):
    """Where the status screen's frame shows on a screen of (width, height): centred."""
    return [(screen[0] - FRAME_SIZE[0]) // 2, (screen[1] - FRAME_SIZE[1]) // 2]


def status_screen(locale, screen):
    """The status screen a screenshot shows on a system of that language and screen size."""
    return {"size": list(screen), "frame_at": frame_origin(screen),
            "picture": SCREEN_PICTURES.get(locale, IDB_SCREEN),
            "band_top": BAND_TOPS.get(locale, BAND_TOP)}


def utility_command_line(folder, image):
    """The command line the worker starts the utility with, in the work folder `folder`."""
    return f'"{folder}\\{UTILITY}" {SWITCHES} {upper(image)}'


def worker_steps(verdict, image_found=True, payload_own=True):
    """The worker's status texts on the way to a verdict, each with its pause (ms) after the one
    before (the first: after the worker's start), and the pause from the last to the end (on the
    flash path: to the utility's start). Without an image to look at, the look-up ends the checks
    with IDS_CANNOT_UPDATE. When the work folder holds files other than the package's own (an
    older package's that could not be replaced), the check right before the utility's start finds
    them and ends the flash path with IDS_CANNOT_UPDATE instead."""
    if not image_found:
        return [(IDS_CANNOT_UPDATE, WORKER_START_TO_LOOK_UP)], SHOWN_BEFORE_END[IDS_CANNOT_UPDATE]
    flash = verdict == IDS_UPDATING
    steps = [(IDS_LOADING, WORKER_START_TO_LOOK_UP + LOOK_UP_TO_LOADING), (IDS_VERIFYING, STEP),
             (IDS_CHECKING if flash else verdict, STEP)]
    if flash:
        steps.append((IDS_UPDATING, CHECKING_TO_UPDATING))
        if not payload_own:
            steps.append((IDS_CANNOT_UPDATE, UPDATING_TO_UTILITY))
            return steps, SHOWN_BEFORE_END[IDS_CANNOT_UPDATE]
        return steps, UPDATING_TO_UTILITY
    return steps, SHOWN_BEFORE_END[verdict]


def status_steps(verdict, image_found=True, payload_own=True):
    """As worker_steps, from the answer: the window's own text first, then the worker's, the first
    of them after the start timer too."""
    steps, end = worker_steps(verdict, image_found, payload_own)
    (first, pause), rest = steps[0], steps[1:]
    return [(IDS_INITIALIZING, ANSWER_TO_INITIALIZING), (first, START_TIMER + pause)] + rest, end


def pauses_ms(expected):
    """The least time a run takes by the program's pauses alone, from an expected outcome."""
    utility = expected["utility"]
    return (sum(s["after_ms"] for s in expected["status"]) + (expected["shown_before_end_ms"] or 0)
            + (utility["after_ms"] + utility["run_ends_after_ms"] if utility else 0))


def least_ms(machine, target):
    """The least time a machine's run takes: the program's pauses and, where the flash utility
    runs, the stand-in's own flash time that the machine asks of it."""
    expected = expect(machine, target)
    return pauses_ms(expected) + ((machine["utility_delay_ms"] or 0) if expected["utility"] else 0)


def _box(caption, text_id, buttons, pressed):
    return {"role": "first", "caption": caption, "text_id": text_id, "buttons": buttons,
            "pressed": pressed}


# A question of the stand-in utility in the middle of the flash (its own words, not the
# program's): it must show above the status screen and have the keyboard until it is answered.
UTILITY_BOX = {"role": "utility", "caption": "SWinFlash", "text_id": None, "buttons": ["OK"],
               "pressed": "OK", "on_top": True, "foreground": True}


def expect(machine, target):
    """The expected outcome of one machine (see matrix.py) for a target (see package.py): the
    image's file name, platform, number and size, the stamp and the payload (file names the
    utility finds beside it). On the flash path the run's end is judged from the utility's own
    end, however long it ran. The Windows version the program is shown (XP, 7 or 10) changes
    nothing of what it does; the screen's size only where its status screen's frame shows."""
    result = {"outcome": None, "boxes": [], "status": [], "shown_before_end_ms": None,
              "screen": None, "utility": None, "stamp": None, "left": None, "autostart": False,
              "ended": "stopped" if machine["second_instance"] else "exited",
              "second_instance": "exits silently" if machine["second_instance"] else None}
    if machine["second_instance"]:
        result["outcome"] = "second instance ignored"
    if command_line_number(machine["args"]) == CLEAN_UP_NUMBER:
        result["outcome"] = "clean-up"
        return result
    refusal = power_gate(machine["ac"], machine["battery"])
    if refusal:
        result["boxes"] = [_box(POWER_CAPTION, refusal, ["OK"], "OK")]
        result["outcome"] = "no mains" if refusal == IDS_NO_AC else "low battery"
        return result
    pressed = {"yes": "YES", "no": "NO", "none": None}[machine["answer"]]
    result["boxes"] = [_box(QUESTION_CAPTION, IDS_CONFIRM, ["YES", "NO"], pressed)]
    if pressed != "YES":
        result["outcome"] = result["outcome"] or "declined"
        return result
    verdict = decide(machine["bios_version"], target["image_platform"], target["number"])
    stale = machine["stale_image"]
    steps, last_pause = status_steps(verdict, payload_own=stale is None)
    flash = steps[-1][0] == IDS_UPDATING
    result.update(outcome=OUTCOMES[steps[-1][0]], stamp=target["stamp"],
                  status=[{"id": i, "after_ms": ms} for i, ms in steps],
                  shown_before_end_ms=None if flash else last_pause,
                  screen=status_screen(machine["locale"], machine["screen"]))
    if stale is not None:
        # Whatever the verdict, the clean-up removes what the run wrote; the older package's
        # read-only image it cannot.
        result["left"] = {target["image"]: len(stale.encode())}
    if flash and machine["utility_box_ms"] is not None:
        result["boxes"].append(dict(UTILITY_BOX))
    if flash:
        folder = work_folder(machine["program_files"])
        result["utility"] = {
            "command_line": utility_command_line(folder, target["image"]), "folder": folder,
            "image": upper(target["image"]), "image_size": target["image_size"],
            "backup": BACKUP, "files": sorted(target["payload"]),
            "after_ms": last_pause, "run_ends_after_ms": UTILITY_TO_END}
        # The clean-up runs while the utility's backup is still there, so the folder stays.
        result["left"] = {}
    return result
