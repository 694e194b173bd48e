"""The simulated notebooks a package is benched on, derived from the package and the BIOS it is
meant to replace: each machine differs from a baseline (that BIOS, on mains at 100%, an English
system, the usual Program Files folder, the user answering Yes) in one respect."""

import fnmatch

from . import rules

ODD_PROGRAM_FILES = r"C:\Program Files (x86) Tools"


def _machine(name, group, title, **changes):
    machine = {"name": name, "group": group, "title": title, "bios_version": None, "ac": "on",
               "battery": 100, "locale": "en", "windows": None, "screen": [1024, 768],
               "program_files": None, "answer": "yes",
               "args": None, "second_instance": False, "leftovers": False}
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
        _machine("answer-no", "user", "the user answers No", answer="no"),
        _machine("second-instance", "user", "a second start while the first one asks",
                 answer="none", second_instance=True),
    ] + [
        _machine(name, "user",
                 f"command line \"{form}\" with an earlier run's files left, off mains at 5%",
                 args=form, leftovers=True, ac="off", battery=5)
        for form, name in rules.CLEAN_UP_FORMS.items()]
    for row in rows:
        if row["bios_version"] is None:
            row["bios_version"] = older
    return rows


def quick(target):
    """The first machine of each distinct outcome."""
    seen, rows = set(), []
    for row in full(target):
        outcome = rules.expect(row, target)["outcome"]
        if outcome not in seen:
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
