"""A notebook's profile, as tools/profiler's profiler.exe writes it on a real notebook, turned into
a bench machine: the machine the runner simulates so that the program reads there what it read on
the notebook. A profile the runner cannot reproduce faithfully is refused, saying what it cannot
reproduce; nothing is rounded to the nearest machine."""

import json
import os

from ..e2e import fake_sysfs, runner
from . import matrix, rules

FORMAT = 1
GROUP = "profile"
# GetSystemPowerStatus's BatteryLifePercent when it knows no charge, as without a battery.
NO_CHARGE = 255
# NT, the only platform GetVersionEx reports for the systems the program runs on.
NT_PLATFORM = 2
# Only drive C: of the runner's prefix is a disk of the simulated machine's own.
PROGRAM_FILES_DRIVE = "C:\\"
# Never in a Windows path: where the ANSI code page has no character for one of the folder's
# name, the shell's answer shows "?".
NOT_IN_PATHS = set('<>"|?*') | {chr(c) for c in range(32)}


class ProfileError(ValueError):
    pass


def _field(profile, name, kind, where=""):
    if name not in profile:
        raise ProfileError(f"the field '{where}{name}' is missing")
    value = profile[name]
    if kind is int and (isinstance(value, bool) or not isinstance(value, int)):
        raise ProfileError(f"the field '{where}{name}' is {value!r}, not a whole number")
    if kind is str and not isinstance(value, str):
        raise ProfileError(f"the field '{where}{name}' is {value!r}, not a text")
    if kind is dict and not isinstance(value, dict):
        raise ProfileError(f"the field '{where}{name}' is {value!r}, not an object: "
                           "the profiler could not read it there")
    return value


def _bios_version(profile):
    version = _field(profile, "bios_version", str)
    if not version.isascii() or set(version) & {"\0", "\n", "\r"}:
        raise ProfileError(f"the BIOS version {version!r} cannot be reproduced: the runner's "
                           "SMBIOS tables hold one line of ASCII text")
    return version


def _power(profile):
    power = _field(profile, "power", dict)
    ac_line = _field(power, "ac_line_status", int, "power.")
    percent = _field(power, "battery_life_percent", int, "power.")
    _field(power, "battery_flag", int, "power.")  # recorded; the program does not read it
    ac = {online: state for state, online in fake_sysfs.AC_ONLINE.items()}.get(ac_line)
    if ac is None:
        known = ", ".join(f"{online} ({state})" for state, online in fake_sysfs.AC_ONLINE.items())
        raise ProfileError(f"AC line status {ac_line} cannot be reproduced: the runner has "
                           f"{known}")
    if percent == NO_CHARGE:
        return ac, None
    if not 0 <= percent <= 100:
        raise ProfileError(f"battery life {percent}% cannot be reproduced: the runner has 0..100% "
                           f"and {NO_CHARGE} (no battery)")
    return ac, percent


def _locale(profile):
    lcid, code_page = _field(profile, "system_lcid", int), _field(profile, "ansi_code_page", int)
    for locale, shown in runner.SYSTEM_LOCALES.items():
        if shown == (lcid, code_page):
            return locale
    known = " and ".join(f"{locale} (0x{l:X}, code page {c})"
                         for locale, (l, c) in runner.SYSTEM_LOCALES.items())
    raise ProfileError(f"the system locale 0x{lcid:X} with code page {code_page} cannot be "
                       f"reproduced: the runner has {known}")


def _windows(profile):
    version = _field(profile, "windows", dict)
    # Every field is required; the build and service pack are recorded, not reproduced.
    major, minor, build, platform, _ = (
        _field(version, name, int, "windows.")
        for name in ("major", "minor", "build", "platform", "service_pack"))
    for name, shown in runner.SHOWN_VERSIONS.items():
        if shown == (major, minor) and platform == NT_PLATFORM:
            return name
    known = ", ".join(f"{name} ({a}.{b})" for name, (a, b) in runner.SHOWN_VERSIONS.items())
    raise ProfileError(f"Windows {major}.{minor} (build {build}, platform {platform}) cannot be "
                       f"reproduced: the runner shows {known}")


def _screen(profile):
    screen = _field(profile, "screen", dict)
    width, height = (_field(screen, name, int, "screen.") for name in ("width", "height"))
    if width < rules.FRAME_SIZE[0] or height < rules.FRAME_SIZE[1]:
        raise ProfileError(f"the screen {width}x{height} is smaller than the status screen's "
                           f"{rules.FRAME_SIZE[0]}x{rules.FRAME_SIZE[1]} frame: the bench cannot "
                           "check what the program shows there")
    if width not in runner.SCREEN_WIDTHS or height not in runner.SCREEN_HEIGHTS:
        w, h = runner.SCREEN_WIDTHS, runner.SCREEN_HEIGHTS
        raise ProfileError(f"the screen {width}x{height} cannot be reproduced: the runner's "
                           f"screens are {w[0]}..{w[-1]} by {h[0]}..{h[-1]}")
    return [width, height]


def _program_files(profile, locale):
    """None for the runner's own Program Files folder."""
    if profile.get("program_files", "") is None:
        raise ProfileError("the shell named no Program Files folder there, which the runner "
                           "cannot reproduce")
    folder = _field(profile, "program_files", str)
    if not folder.upper().startswith(PROGRAM_FILES_DRIVE):
        raise ProfileError(f"the Program Files folder {folder!r} cannot be reproduced: the "
                           f"runner's machine has its disk at {PROGRAM_FILES_DRIVE}")
    odd = sorted(set(folder) & NOT_IN_PATHS)
    if odd:
        raise ProfileError(f"the Program Files folder {folder!r} cannot be reproduced: no folder "
                           f"name holds {''.join(odd)!r} ('?' stands where the ANSI code page "
                           "lacked a character of the name)")
    code_page = runner.SYSTEM_LOCALES[locale][1]
    try:
        folder.encode(f"cp{code_page}")
    except UnicodeEncodeError as error:
        lacking = error.object[error.start]
        raise ProfileError(f"the Program Files folder {folder!r} holds {lacking!r}, which code "
                           f"page {code_page} lacks: the program could not have read it so"
                           ) from error
    return None if folder == rules.DEFAULT_PROGRAM_FILES else folder


def _title(path, machine):
    power = {"on": "on mains", "off": "off mains", "unknown": "AC line unknown"}[machine["ac"]]
    battery = "no battery" if machine["battery"] is None else f"{machine['battery']}%"
    width, height = machine["screen"]
    return (f"profile {os.path.basename(path)}: BIOS {machine['bios_version']!r}, {power}, "
            f"{battery}, {machine['locale']}, Windows {machine['windows']}, {width}x{height}, "
            f"{machine['program_files'] or rules.DEFAULT_PROGRAM_FILES}")


def machine_of(profile, name, path):
    """The bench machine of a profile (a dict as json.load reads it); raises ProfileError."""
    if not isinstance(profile, dict):
        raise ProfileError("a profile is a JSON object")
    version = _field(profile, "format", int)
    if version != FORMAT:
        raise ProfileError(f"format {version} is unknown: this bench reads format {FORMAT}")
    ac, battery = _power(profile)
    locale = _locale(profile)
    changes = {"bios_version": _bios_version(profile), "ac": ac,
               "battery": battery, "locale": locale, "windows": _windows(profile),
               "screen": _screen(profile), "program_files": _program_files(profile, locale)}
    machine = matrix._machine(name, GROUP, "", **changes)
    machine["title"] = _title(path, machine)
    return machine


def machines(paths, taken=()):
    """A machine for each profile file, named profile-<file name without extension>; raises
    ProfileError naming the file. `taken`: names the machine must not take."""
    found = []
    taken = set(taken)
    for path in paths:
        name = "profile-" + os.path.splitext(os.path.basename(path))[0]
        try:
            if name in taken:
                raise ProfileError(f"another machine is named {name} already")
            try:
                with open(path, encoding="utf-8") as handle:
                    profile = json.load(handle)
            except (OSError, ValueError) as error:
                raise ProfileError(f"not a readable JSON profile: {error}") from error
            found.append(machine_of(profile, name, path))
        except ProfileError as error:
            raise ProfileError(f"{path}: {error}") from error
        taken.add(name)
    return found
