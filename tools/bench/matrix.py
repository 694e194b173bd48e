"""The simulated notebooks a package is benched on, derived from the package and the BIOS it is
meant to replace: each machine differs from a baseline (that BIOS, on mains at 100%, an English
system, the usual Program Files folder, the user answering Yes) in one respect."""

import fnmatch

from . import rules

ODD_PROGRAM_FILES = r"C:\Program Files (x86) Tools"
# Program Files folders named in letters beyond ASCII, each on the system whose ANSI code page
# writes them: Hangul on a Korean system (949), accented Latin letters on an English one (1252).
NON_ASCII_PROGRAM_FILES = {"ko": r"C:\프로그램 파일", "en": r"C:\Programmes Café Niño Über"}
BASELINE_SCREEN = [1024, 768]
SCREENS = [[800, 600], [1920, 1080], [3840, 2160]]
WINDOWS = {"xp": "XP", "7": "7", "10": "10"}
# What an older package left in the work folder: its image, with other bytes, read-only.
STALE_IMAGE = "an image of an older package\r\n"
# The stand-in utility's flash in the slow row: four times the program's longest pause (5 s) and
# far beyond the 3 s exit timer, so that a run whose end came from a timer rather than from the
# utility's end would show; short enough to cost the full set no more than one machine's time.
SLOW_UTILITY_MS = 20000
# When the stand-in utility asks its question: well inside its flash, the status screen showing.
UTILITY_BOX_MS = 2000
# Besides the first machine of each outcome, the quick set takes a machine of each dimension
# whose run shows something none of those shows: a frame centred on another screen size (the
# smallest, whose screenshot costs least), the oldest Windows the program meets, a folder name
# in a multibyte code page, the check that refuses an older package's image, and a window of the
# utility above the status screen. The slow utility is not among them: on every flash the bench
# already judges the run's end from the utility's own end, so a longer flash shows nothing new
# but its length, which would cost every quick run 20 s.
QUICK_TOO = ["screen-800x600", "windows-xp", "program-files-hangul", "work-folder-stale",
             "utility-window"]


def _machine(name, group, title, **changes):
    machine = {"name": name, "group": group, "title": title, "bios_version": None, "ac": "on",
               "battery": 100, "locale": "en", "windows": None, "screen": BASELINE_SCREEN,
               "program_files": None, "answer": "yes",
               "args": None, "second_instance": False, "leftovers": False, "stale_image": None,
               "utility_delay_ms": None, "utility_box_ms": None}
    machine.update(changes)
    return machine


def _other_platform(platform):
    return "ZZZZZ" if platform != "ZZZZZ" else "YYYYY"


def full(target):
    """Every machine, baseline first."""
    platform, running, number = target["platform"], target["running"], target["number"]
    older = rules.meant_bios(target)
    rows = [
        _machine("baseline", "baseline",
                 f"BIOS {older} (the one it is meant to replace), on mains at 100%, English, "
                 "answers Yes"),
        _machine("bios-equal", "running BIOS", f"BIOS {platform}{number:X} (the image's own)",
                 bios_version=f"{platform}{number:X}"),
        _machine("bios-newer", "running BIOS",
                 f"BIOS {platform}{number + 1:X} (newer than the image)",
                 bios_version=f"{platform}{number + 1:X}"),
        _machine("bios-other-platform", "running BIOS", "BIOS of another platform",
                 bios_version=f"{_other_platform(platform)}{running:X}"),
        _machine("bios-short", "running BIOS", "BIOS version shorter than five characters",
                 bios_version=platform[:4]),
        _machine("bios-empty", "running BIOS", "BIOS version empty (WMI gives nothing)",
                 bios_version=""),
        _machine("bios-lower-case", "running BIOS", "BIOS version of the baseline in lower case",
                 bios_version=older.lower()),
        _machine("bios-space-in-prefix", "running BIOS", "BIOS version with a space in the prefix",
                 bios_version=f"{platform[:3]} {platform[3:]}{running:X}"),
        _machine("power-mains-20", "power", "on mains at 20%", battery=20),
        _machine("power-mains-19", "power", "on mains at 19%", battery=19),
        _machine("power-no-battery", "power", "on mains without a battery", battery=None),
        _machine("power-off-mains", "power", "off mains, battery at 100%", ac="off"),
        _machine("power-unknown", "power", "power state unknown (AC and battery)",
                 ac="unknown", battery=None),
        _machine("system-korean", "system", "Korean system", locale="ko"),
        _machine("program-files-odd", "system",
                 f"Program Files folder {ODD_PROGRAM_FILES}", program_files=ODD_PROGRAM_FILES),
        _machine("program-files-hangul", "system",
                 f"Korean system (code page 949), Program Files folder "
                 f"{NON_ASCII_PROGRAM_FILES['ko']}", locale="ko",
                 program_files=NON_ASCII_PROGRAM_FILES["ko"]),
        _machine("program-files-accented", "system",
                 f"English system (code page 1252), Program Files folder "
                 f"{NON_ASCII_PROGRAM_FILES['en']}", program_files=NON_ASCII_PROGRAM_FILES["en"]),
    ] + [
        _machine(f"windows-{version}", "windows", f"Windows {title} (as Wine shows it)",
                 windows=version)
        for version, title in WINDOWS.items()
    ] + [
        _machine(f"screen-{w}x{h}", "screen", f"screen of {w}x{h}", screen=[w, h])
        for w, h in SCREENS
    ] + [
        _machine("work-folder-stale", "work folder",
                 "work folder left by an older package: its image read-only, with other bytes",
                 stale_image=STALE_IMAGE),
        _machine("answer-no", "user", "the user answers No", answer="no"),
        _machine("second-instance", "user", "a second start while the first one asks",
                 answer="none", second_instance=True),
    ] + [
        _machine(name, "user",
                 f"command line \"{form}\" with an earlier run's files left, off mains at 5%",
                 args=form, leftovers=True, ac="off", battery=5)
        for form, name in rules.CLEAN_UP_FORMS.items()]
    if target["stand_in_utility"]:
        # Only our stand-in utility can be told to take its time or to ask a question.
        rows += [
            _machine("utility-slow", "utility",
                     f"the flash utility runs {SLOW_UTILITY_MS // 1000} s",
                     utility_delay_ms=SLOW_UTILITY_MS),
            _machine("utility-window", "utility",
                     "the flash utility asks a question in the middle of its flash",
                     utility_box_ms=UTILITY_BOX_MS)]
    for row in rows:
        if row["bios_version"] is None:
            row["bios_version"] = older
    return rows


def quick(target):
    """The first machine of each distinct outcome, and those of QUICK_TOO that the package's
    matrix has."""
    seen, rows = set(), []
    for row in full(target):
        outcome = rules.expect(row, target)["outcome"]
        if outcome not in seen or row["name"] in QUICK_TOO:
            seen.add(outcome)
            rows.append(row)
    return rows


def select(target, quick_set=False, only=None, extra=()):
    """The machines to run: the quick or the full set and the `extra` machines (profiles), narrowed
    to names matching one of the comma-separated globs of `only`."""
    rows = (quick(target) if quick_set else full(target)) + list(extra)
    if only:
        globs = only.split(",")
        rows = [r for r in rows if any(fnmatch.fnmatchcase(r["name"], g) for g in globs)]
    return rows
