"""run(RunOptions(exe, ...)) -> Report: one run of BIOSUpdate.exe under Wine on a simulated
machine. The options are listed in README.md; bad ones raise ValueError before anything starts.

The run itself happens in session.py, in a private mount and PID namespace (unshare), which is
why it needs root."""

import base64
import json
import os
import re
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field
from pathlib import Path
from typing import Mapping, Optional, Sequence, Union

from .. import ROOT
from . import fake_sysfs, wine_prefix
from .report import Report

DEFAULT_CACHE = Path.home() / ".cache" / "biosupdate-e2e"
_WINDOWS_PATH = re.compile(r"^[A-Za-z]:\\")
_STATUS_MOMENT = re.compile(r"^status:(\d+)(\+\d+)?$")
# The Windows versions a run can show the program, as Wine's version setting names them, and
# the version GetVersionEx gives there (major, minor) to a program whose manifest names no later
# Windows.
WINDOWS_VERSIONS = {"xp": "winxp", "7": "win7", "10": "win10"}
SHOWN_VERSIONS = {"xp": (5, 1), "7": (6, 1), "10": (6, 2)}
# The locales a run can have, with the system's default LCID and ANSI code page under each.
SYSTEM_LOCALES = {"en": (0x409, 1252), "ko": (0x412, 949)}
# The screen sizes a run's display can have.
SCREEN_WIDTHS, SCREEN_HEIGHTS = range(320, 4097), range(200, 4097)


class E2EError(RuntimeError):
    pass


def default_cache():
    return os.environ.get("BIOSUPDATE_E2E_CACHE", DEFAULT_CACHE)


def require_root():
    if os.geteuid() != 0:
        raise E2EError("the end-to-end runner must run as root: it mounts a fake /sys/class in a "
                       "private mount namespace (unshare -m)")


def prepare_template(cache=None):
    """Creates the cache's template prefix if needed (the first run would do it too)."""
    require_root()
    return wine_prefix.ensure_template(cache or default_cache())


def _windows_path(path, what):
    if not isinstance(path, str) or not _WINDOWS_PATH.match(path):
        raise ValueError(f"{what} must be an absolute Windows path like C:\\dir, not {path!r}")
    return path


def _encode_content(path, content):
    if isinstance(content, str):
        content = content.encode("utf-8")
    if not isinstance(content, bytes):
        raise ValueError(f"content of {path} must be str or bytes")
    return base64.b64encode(content).decode("ascii")


def _moment(value, what):
    """A point in a run as the driver takes it: "question", ms after the start, or
    "status:<id>[+<ms>]" after a status text was first seen."""
    if isinstance(value, int) and not isinstance(value, bool) and value >= 0:
        return str(value)
    if value == "question" or (isinstance(value, str) and _STATUS_MOMENT.match(value)):
        return value
    raise ValueError(f"{what} must be 'question', milliseconds or 'status:<id>[+<ms>]', "
                     f"not {value!r}")


def _status_id(value, what):
    if isinstance(value, bool) or value not in range(129, 144):
        raise ValueError(f"{what} is a status text id 129..143, not {value!r}")
    return value


def _messages(entries):
    encoded = []
    for entry in entries:
        unknown = set(entry) - {"during", "after_ms", "every_ms", "msg", "wparam", "lparam"}
        numbers = [entry.get(k) or 0 for k in ("after_ms", "every_ms", "msg", "wparam", "lparam")]
        if unknown or "msg" not in entry or not all(isinstance(n, int) and n >= 0
                                                    for n in numbers):
            raise ValueError(f"a message is {{during, msg, after_ms, every_ms, wparam, lparam}} "
                             f"with whole numbers, not {entry!r}")
        encoded.append(":".join(str(n) for n in [_status_id(entry.get("during"),
                                                            "a message's 'during'")] + numbers))
    return encoded


def _starts(starts, args, answer):
    """Every start of the program in the one prefix; without `starts` just one."""
    result = []
    for start in starts or [{}]:
        unknown = set(start) - {"args", "answer", "kill_at", "env"}
        if unknown:
            raise ValueError(f"a start takes args, answer, kill_at and env, not {sorted(unknown)}")
        entry = {"args": start.get("args", args), "answer": start.get("answer", answer),
                 "env": {str(k): str(v) for k, v in start.get("env", {}).items()},
                 "kill_at": None}
        if start.get("kill_at") is not None:
            entry["kill_at"] = _moment(start["kill_at"], "kill_at")
        if entry["answer"] not in ("yes", "no", "none"):
            raise ValueError(f"answer must be yes, no or none, not {entry['answer']!r}")
        result.append(entry)
    return result


def _encode_registry(entries):
    encoded = []
    for entry in entries:
        if len(entry) != 3:
            raise ValueError(f"registry entries are (key, name, data), not {entry!r}")
        key, name, data = entry
        if data is None:
            encoded.append([key, name, None])
        elif isinstance(data, str):
            encoded.append([key, name, {"sz": data}])
        elif isinstance(data, bool) or not isinstance(data, (int, bytes)):
            raise ValueError(f"registry data must be str, int, bytes or None: {entry!r}")
        elif isinstance(data, int):
            encoded.append([key, name, {"dword": data}])
        else:
            encoded.append([key, name, {"hex": data.hex()}])
    return encoded


def _second_instances(entries):
    encoded = []
    for entry in entries:
        unknown = set(entry) - {"at", "args", "stop_first_after"}
        if unknown:
            raise ValueError(f"a further start takes at, args and stop_first_after, not "
                             f"{sorted(unknown)}")
        encoded.append({"at": _moment(entry.get("at", "question"), "a further start's 'at'"),
                        "args": entry.get("args"),
                        "stop_first_after": bool(entry.get("stop_first_after", False))})
    return encoded


def _replacements(entries):
    encoded = []
    for entry in entries:
        if set(entry) != {"at", "path", "content"}:
            raise ValueError("a replacement is {'at': moment, 'path': ..., 'content': ...}")
        path = _windows_path(entry["path"], "a replaced file")
        encoded.append({"at": _moment(entry["at"], "a replacement's 'at'"), "path": path,
                        "content": _encode_content(path, entry["content"])})
    return encoded


@dataclass(frozen=True)
class RunOptions:
    """One run of a program on a simulated machine: the machine, what is planted on it, how the
    driver answers and watches, and where the run keeps its files (README.md describes each).
    Checked as it is made: a bad value raises ValueError, a missing program or driver E2EError,
    before anything starts. Host paths are pathlib paths, Windows paths strings."""

    exe: Path
    driver: Optional[Path] = None  # $BIOSUPDATE_UIDRIVER
    cache: Optional[Path] = None  # $BIOSUPDATE_E2E_CACHE, or DEFAULT_CACHE
    ac: str = "on"
    battery: Optional[int] = 100
    bios_version: str = "MIRTSF12"
    locale: str = "en"
    windows: Optional[str] = None  # Wine's own default when None
    program_files: Optional[str] = None
    program_files_kib: Optional[int] = None
    answer: str = "yes"
    answer_delay_ms: int = 250
    other_boxes: str = "ok"
    args: Optional[str] = None
    files: Mapping[str, Union[str, bytes]] = field(default_factory=dict)
    dirs: Sequence[str] = ()
    read_only: Sequence[str] = ()
    links: Mapping[str, str] = field(default_factory=dict)
    replacements: Sequence[Mapping] = ()
    registry: Sequence[tuple] = ()
    env: Mapping[str, object] = field(default_factory=dict)
    second_instances: Sequence[Mapping] = ()
    messages: Sequence[Mapping] = ()
    starts: Optional[Sequence[Mapping]] = None
    screenshots: Sequence[Union[int, str]] = ()
    screenshot_dir: Optional[Path] = None
    collect: Sequence[str] = ()
    read_values: Sequence[tuple] = ()
    wine_debug: Optional[str] = None
    close_during_status: Optional[int] = None
    timeout: float = 60
    screen: tuple = (1024, 768)
    keep: bool = False

    def __post_init__(self):
        def normalise(name, value):
            object.__setattr__(self, name, value)

        normalise("exe", Path(self.exe).absolute())
        if not self.exe.is_file():
            raise E2EError(f"the program to run is missing: {self.exe} (build the product tree "
                           "first)")
        normalise("driver", Path(self.driver or os.environ.get("BIOSUPDATE_UIDRIVER", ""))
                  .absolute())
        if not self.driver.is_file():
            raise E2EError("uidriver.exe is missing: pass driver= or set BIOSUPDATE_UIDRIVER "
                           "(it is built in a tests tree)")
        normalise("cache", Path(self.cache or default_cache()).absolute())
        if self.screenshot_dir is not None:
            normalise("screenshot_dir", Path(self.screenshot_dir).absolute())
        for name in ("dirs", "read_only", "replacements", "registry", "second_instances",
                     "messages", "screenshots", "collect", "read_values"):
            normalise(name, tuple(getattr(self, name)))
        normalise("screen", tuple(self.screen))
        if self.other_boxes not in ("ok", "leave"):
            raise ValueError(f"other_boxes must be ok or leave, not {self.other_boxes!r}")
        fake_sysfs.power_files(self.ac, self.battery)  # rejects an unknown AC state or charge
        if self.locale not in SYSTEM_LOCALES:
            raise ValueError(f"locale must be en or ko, not {self.locale!r}")
        if self.windows is not None and self.windows not in WINDOWS_VERSIONS:
            raise ValueError(f"windows must be one of {sorted(WINDOWS_VERSIONS)}, not "
                             f"{self.windows!r}")
        if not isinstance(self.timeout, (int, float)) or self.timeout <= 0:
            raise ValueError("timeout must be a positive number of seconds")
        width, height = self.screen
        if width not in SCREEN_WIDTHS or height not in SCREEN_HEIGHTS:
            raise ValueError(f"unsupported screen size {self.screen!r}")
        if self.program_files is not None:
            _windows_path(self.program_files, "program_files")
        kib = self.program_files_kib
        if kib is not None and (self.program_files is None or isinstance(kib, bool) or
                                not isinstance(kib, int) or kib <= 0):
            raise ValueError("program_files_kib is a positive number of KiB and needs "
                             "program_files")
        for spec in self.screenshots:
            if not (isinstance(spec, int) or
                    re.match(r"^(status:\d+(\+\d+)?|msgbox(:.*)?)$", str(spec))):
                raise ValueError(f"screenshot times are ms, 'status:<id>[+<ms>]' or "
                                 f"'msgbox[:caption]', not {spec!r}")
        if self.wine_debug is not None and not re.match(r"^[-+\w]+(,[-+\w]+)*$",
                                                        str(self.wine_debug)):
            raise ValueError(f"wine_debug takes Wine's debug channels like '+msg', not "
                             f"{self.wine_debug!r}")
        if self.close_during_status is not None:
            _status_id(self.close_during_status, "close_during_status")
        if not set(self.read_only) <= set(self.files):
            raise ValueError("read_only names planted files")
        self.session_config()  # the encodings check the rest

    def session_config(self):
        """The configuration the session reads (JSON)."""
        width, height = self.screen
        return {
            "exe": str(self.exe), "driver": str(self.driver), "cache": str(self.cache),
            "ac": self.ac, "battery": self.battery, "bios_version": self.bios_version,
            "locale": self.locale, "program_files": self.program_files,
            "windows": WINDOWS_VERSIONS.get(self.windows), "answer": self.answer,
            "answer_delay_ms": int(self.answer_delay_ms),
            "other_boxes": self.other_boxes, "args": self.args, "timeout": self.timeout,
            "screen": [width, height],
            "files": {_windows_path(p, "a planted file"): _encode_content(p, c)
                      for p, c in self.files.items()},
            "dirs": [_windows_path(d, "a planted directory") for d in self.dirs],
            "read_only": [_windows_path(p, "a read-only file") for p in self.read_only],
            "links": {_windows_path(p, "a planted link"): _windows_path(t, "a link's target")
                      for p, t in self.links.items()},
            "replacements": _replacements(self.replacements),
            "registry": _encode_registry(self.registry),
            "env": {str(k): str(v) for k, v in self.env.items()},
            "screenshots": list(self.screenshots),
            "screenshot_dir": str(self.screenshot_dir) if self.screenshot_dir else None,
            "collect": [_windows_path(p, "a collected file") for p in self.collect],
            "read_values": [list(v) for v in self.read_values], "wine_debug": self.wine_debug,
            "close_during_status": self.close_during_status, "keep": bool(self.keep),
            "program_files_kib": self.program_files_kib,
            "seconds": _second_instances(self.second_instances),
            "messages": _messages(self.messages),
            "starts": _starts(self.starts, self.args, self.answer),
            "several_starts": bool(self.starts),
        }


def run(options):
    """Runs the program on the machine that the RunOptions describe and returns its Report."""
    config = options.session_config()
    require_root()
    config["template"] = wine_prefix.ensure_template(config["cache"])
    with tempfile.TemporaryDirectory(prefix="e2e-", dir=config["cache"]) as scratch:
        if not config["screenshot_dir"]:
            config["screenshot_dir"] = os.path.join(config["cache"], "screenshots",
                                                    os.path.basename(scratch))
        config_path = os.path.join(scratch, "config.json")
        report_path = os.path.join(scratch, "report.json")
        with open(config_path, "w") as handle:
            json.dump(config, handle)
        command = ["unshare", "--mount", "--pid", "--fork", "--kill-child", "--mount-proc",
                   "--propagation", "private", "--", sys.executable, "-m",
                   "tools.e2e.session", config_path, report_path]
        # Room for the prefix copy, the planting and the clean-up around the program's own time.
        limit = config["timeout"] * len(config["starts"]) + 240
        try:
            result = subprocess.run(command, cwd=ROOT, stdin=subprocess.DEVNULL,
                                    capture_output=True, timeout=limit)
        except subprocess.TimeoutExpired as error:
            raise E2EError(f"the run did not end within {limit} s") from error
        if not os.path.exists(report_path):
            raise E2EError("the run left no report: " +
                           result.stderr.decode(errors="replace").strip())
        with open(report_path) as handle:
            data = json.load(handle)
    if "fatal" in data:
        raise E2EError("the run failed: " + data["fatal"])
    data["options"] = {k: config[k] for k in (
        "ac", "battery", "bios_version", "locale", "windows", "program_files", "answer", "args",
        "env",
        "seconds", "timeout", "screen", "program_files_kib", "starts")}
    return Report(data)
