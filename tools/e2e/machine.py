"""run_machine(exe, **options) -> Report: one run of BIOSUpdate.exe under Wine on a simulated
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

import fake_sysfs
import wine_prefix
from report import Report

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_CACHE = os.path.join(os.path.expanduser("~"), ".cache", "biosupdate-e2e")
_WINDOWS_PATH = re.compile(r"^[A-Za-z]:\\")
_STATUS_MOMENT = re.compile(r"^status:(\d+)(\+\d+)?$")


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


def build_config(exe, *, ac="on", battery=100, bios_version="MIRTSF12", locale="en",
                 program_files=None, answer="yes", answer_delay_ms=250, other_boxes="ok",
                 args=None, files=None, dirs=(), registry=(), env=None, second_instance=None,
                 screenshots=(), screenshot_dir=None, timeout=60, screen=(1024, 768),
                 collect=(), read_values=(), wine_debug=None, close_during_status=None,
                 keep=False, driver=None, cache=None, program_files_kib=None,
                 second_instances=(), messages=(), starts=None, read_only=(), links=None,
                 replacements=()):
    """Checks the options and turns them into the session's configuration."""
    exe = os.path.abspath(exe)
    if not os.path.isfile(exe):
        raise E2EError(f"the program to run is missing: {exe} (build the product tree first)")
    driver = os.path.abspath(driver or os.environ.get("BIOSUPDATE_UIDRIVER", ""))
    if not os.path.isfile(driver):
        raise E2EError("uidriver.exe is missing: pass driver= or set BIOSUPDATE_UIDRIVER "
                       "(it is built in a tests tree)")
    run_starts = _starts(starts, args, answer)
    if other_boxes not in ("ok", "leave"):
        raise ValueError(f"other_boxes must be ok or leave, not {other_boxes!r}")
    fake_sysfs.power_files(ac, battery)  # rejects an unknown AC state or battery charge
    if locale not in ("en", "ko"):
        raise ValueError(f"locale must be en or ko, not {locale!r}")
    if not isinstance(timeout, (int, float)) or timeout <= 0:
        raise ValueError("timeout must be a positive number of seconds")
    width, height = screen
    if not (320 <= width <= 4096 and 200 <= height <= 4096):
        raise ValueError(f"unsupported screen size {screen!r}")
    if program_files is not None:
        _windows_path(program_files, "program_files")
    if program_files_kib is not None and (
            program_files is None or isinstance(program_files_kib, bool) or
            not isinstance(program_files_kib, int) or program_files_kib <= 0):
        raise ValueError("program_files_kib is a positive number of KiB and needs program_files")
    second = None
    if second_instance is not None:
        at = second_instance.get("at", "question")
        if at != "question" and not (isinstance(at, int) and at >= 0):
            raise ValueError("second_instance['at'] must be 'question' or milliseconds")
        second = {"args": second_instance.get("args"), "at": at,
                  "stop_first_after": bool(second_instance.get("stop_first_after", False))}
    if second_instance is not None and second_instances:
        raise ValueError("give second_instance or second_instances, not both")
    seconds = [{"at": _moment(s.get("at", "question"), "a second instance's 'at'"),
                "args": s.get("args")} for s in second_instances]
    for spec in screenshots:
        if not (isinstance(spec, int) or
                re.match(r"^(status:\d+(\+\d+)?|msgbox(:.*)?)$", str(spec))):
            raise ValueError(f"screenshot times are ms, 'status:<id>[+<ms>]' or "
                             f"'msgbox[:caption]', not {spec!r}")
    if wine_debug is not None and not re.match(r"^[-+\w]+(,[-+\w]+)*$", str(wine_debug)):
        raise ValueError(f"wine_debug takes Wine's debug channels like '+msg', not {wine_debug!r}")
    if close_during_status is not None:
        _status_id(close_during_status, "close_during_status")
    cache = os.path.abspath(cache or default_cache())
    files = files or {}
    if not set(read_only) <= set(files):
        raise ValueError("read_only names planted files")
    encoded_replacements = []
    for replacement in replacements:
        if set(replacement) != {"at", "path", "content"}:
            raise ValueError("a replacement is {'at': moment, 'path': ..., 'content': ...}")
        path = _windows_path(replacement["path"], "a replaced file")
        encoded_replacements.append({"at": _moment(replacement["at"], "a replacement's 'at'"),
                                     "path": path,
                                     "content": _encode_content(path, replacement["content"])})
    return {
        "exe": exe, "driver": driver, "cache": cache, "ac": ac, "battery": battery,
        "bios_version": bios_version, "locale": locale, "program_files": program_files,
        "answer": answer, "answer_delay_ms": int(answer_delay_ms), "other_boxes": other_boxes,
        "args": args, "timeout": timeout, "screen": [width, height], "second": second,
        "files": {_windows_path(p, "a planted file"): _encode_content(p, c)
                  for p, c in files.items()},
        "dirs": [_windows_path(d, "a planted directory") for d in dirs],
        "read_only": [_windows_path(p, "a read-only file") for p in read_only],
        "links": {_windows_path(p, "a planted link"): _windows_path(t, "a link's target")
                  for p, t in (links or {}).items()},
        "replacements": encoded_replacements,
        "registry": _encode_registry(registry),
        "env": {str(k): str(v) for k, v in (env or {}).items()},
        "screenshots": list(screenshots),
        "screenshot_dir": os.path.abspath(screenshot_dir) if screenshot_dir else None,
        "collect": [_windows_path(p, "a collected file") for p in collect],
        "read_values": [list(v) for v in read_values], "wine_debug": wine_debug,
        "close_during_status": close_during_status, "keep": bool(keep),
        "program_files_kib": program_files_kib, "seconds": seconds,
        "messages": _messages(messages), "starts": run_starts, "several_starts": bool(starts),
    }


def run_machine(exe, **options):
    """Runs exe on the machine the options describe and returns its Report."""
    config = build_config(exe, **options)
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
                   "--propagation", "private", "--", sys.executable,
                   os.path.join(HERE, "session.py"), config_path, report_path]
        # Room for the prefix copy, the planting and the clean-up around the program's own time.
        limit = config["timeout"] * len(config["starts"]) + 240
        try:
            result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                                    timeout=limit)
        except subprocess.TimeoutExpired as error:
            raise E2EError(f"the run did not end within {limit} s") from error
        if not os.path.exists(report_path):
            raise E2EError("the run left no report: " +
                           result.stderr.decode(errors="replace").strip())
        with open(report_path) as handle:
            data = json.load(handle)
    if "fatal" in data:
        raise E2EError("the run failed: " + data["fatal"])
    data["machine"] = {k: config[k] for k in (
        "ac", "battery", "bios_version", "locale", "program_files", "answer", "args", "env",
        "second", "timeout", "screen", "program_files_kib", "starts")}
    return Report(data)
