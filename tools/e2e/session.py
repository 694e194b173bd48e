"""One run on a simulated machine, inside the private mount and PID namespace that runner.py
creates: python3 -m tools.e2e.session CONFIG.json REPORT.json.

The namespace's first process is this one; when it ends, the kernel ends every process left in
the namespace (Xvfb, wineserver, the program), and the fake /sys/class goes with it."""

import base64
import json
import os
import shutil
import signal
import subprocess
import sys
import time

from PIL import ImageGrab

from ..bench import rules
from . import driver_log, fake_sysfs, phases, reg_file, stub_record, wine_prefix, wine_trace
from .runner import SYSTEM_LOCALES
from .xvfb import Xvfb

# Where the program and the driver run from.
STAGE = r"C:\e2e"
APPWIZARD_KEY = "Local AppWizard-Generated Applications"
LOCALES = {"en": "en_US.UTF-8", "ko": "ko_KR.UTF-8"}
STUB_RECORD_VARIABLE = stub_record.RECORD_VARIABLE
STUB_RECORD = STAGE + r"\flash-record.txt"
POLL_SECONDS = 0.05
DRIVER_NAME = "uidriver.exe"
# Registry files of a prefix, by the root key that their paths are relative to.
REG_FILES = {"HKEY_LOCAL_MACHINE": "system.reg", "HKEY_CURRENT_USER": "user.reg",
             "HKEY_USERS\\.DEFAULT": "userdef.reg"}


def _split_root(path):
    aliases = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER", "HKU": "HKEY_USERS"}
    root, _, rest = path.partition("\\")
    root = aliases.get(root.upper(), root.upper())
    if root == "HKEY_USERS" and rest.lower().startswith(".default\\"):
        return "HKEY_USERS\\.DEFAULT", rest[len(".default\\"):]
    if root not in REG_FILES:
        raise ValueError(f"unsupported registry root in {path!r}")
    return root, rest


class Run:
    def __init__(self, config):
        self.config = config
        self.errors = []
        self.display = None
        self.run_dir = None
        self.prefix = None
        self.env = None
        self.wineserver_stopped = False
        self.screenshots = []
        self.mounted = None
        self.clock = phases.Clock()

    # --- preparation -------------------------------------------------------------------------

    def prepare(self):
        c = self.config
        fake_sysfs.mount_fake_sysfs(c["ac"], c["battery"], c["bios_version"])
        self.clock.lap("session start")
        self.display = Xvfb(*c["screen"])
        self.clock.lap("Xvfb start")
        self.run_dir = wine_prefix.new_run_dir(os.path.join(c["cache"], "runs"))
        # A prefix kept for inspection must hold everything, not only the run's changes.
        self.prefix = wine_prefix.new_prefix(c["template"], self.run_dir, copy=c["keep"])
        self.clock.lap("prefix")
        self.env = wine_prefix.wine_environment(self.prefix, self.display.display,
                                                LOCALES[c["locale"]])
        stage = self.unix(STAGE)
        os.makedirs(stage, exist_ok=True)
        shutil.copy2(c["exe"], os.path.join(stage, "BIOSUpdate.exe"))
        shutil.copy2(c["driver"], os.path.join(stage, "uidriver.exe"))
        values = {}
        if c["windows"]:
            values[(wine_prefix.WINE_KEY, "Version")] = c["windows"]
        if c["program_files"]:
            folder = self.unix(c["program_files"])
            os.makedirs(folder, exist_ok=True)
            values[(wine_prefix.PROGRAM_FILES_KEY, "ProgramFilesDir")] = c["program_files"]
            if c["program_files_kib"]:
                # A small disk of its own, mounted before any Wine process of the run exists and
                # before anything is planted in it; the drive's link leads into it.
                subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={c['program_files_kib']}k",
                                "e2e-program-files", folder], check=True, timeout=30)
                self.mounted = folder
        for directory in c["dirs"]:
            os.makedirs(self.unix(directory), exist_ok=True)
        for path, content in c["files"].items():
            target = self.unix(path)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as handle:
                handle.write(base64.b64decode(content))
            if path in c["read_only"]:
                # Wine shows a file without write permission as read-only, and refuses to
                # delete it.
                os.chmod(target, 0o444)
        for path, target in c["links"].items():
            # Wine shows a host's symbolic link as a reparse point, as Windows shows a junction.
            os.makedirs(os.path.dirname(self.unix(path)), exist_ok=True)
            os.symlink(self.unix(target), self.unix(path))
        for index, replacement in enumerate(c["replacements"]):
            with open(os.path.join(stage, f"replacement-{index}"), "wb") as handle:
                handle.write(base64.b64decode(replacement["content"]))
        for key, name, data in c["registry"]:
            values[(key, name)] = self.registry_data(data)
        self.plant_registry(values)
        self.clock.lap("planting")

    def unix(self, windows_path):
        return wine_prefix.unix_path(self.prefix, windows_path)

    @staticmethod
    def registry_data(data):
        if data is None:
            return None
        kind, value = next(iter(data.items()))
        return {"sz": str, "dword": int, "hex": bytes.fromhex}[kind](value)

    def plant_registry(self, values):
        """Writes the values into the prefix's registry files, which wineserver loads when the
        first Wine process of the run starts."""
        by_file = {}
        for (path, name), data in values.items():
            root, key = _split_root(path)
            by_file.setdefault(REG_FILES[root], {})[(key, name)] = data
        for file_name, planted in by_file.items():
            path = os.path.join(self.prefix, file_name)
            # Latin-1 keeps every byte as it was; Wine writes ASCII with escapes anyway.
            with open(path, encoding="latin-1") as handle:
                text = handle.read()
            with open(path, "w", encoding="latin-1") as handle:
                handle.write(reg_file.plant(text, planted, int(time.time())))

    # --- the run -----------------------------------------------------------------------------

    def driver_command(self, start, log_name):
        c = self.config
        command = ["wine", STAGE + r"\uidriver.exe", "--exe", STAGE + r"\BIOSUpdate.exe",
                   "--log", STAGE + "\\" + log_name, "--answer", start["answer"],
                   "--answer-delay-ms", str(c["answer_delay_ms"]), "--other-boxes",
                   c["other_boxes"], "--max-ms", str(int(c["timeout"] * 1000) + 5000)]
        if start["args"] is not None:
            command += ["--args", start["args"]]
        if start["kill_at"] is not None:
            command += ["--kill-at", start["kill_at"]]
        for second in c["seconds"]:
            command += ["--second-at", second["at"]]
            if second["args"] is not None:
                command += ["--second-args", second["args"]]
            if second["stop_first_after"]:
                command.append("--stop-after-second")
        for message in c["messages"]:
            command += ["--message", message]
        for index, replacement in enumerate(c["replacements"]):
            command += ["--replace", f"{replacement['at']}|{replacement['path']}|"
                                     f"{STAGE}\\replacement-{index}"]
        if c["wine_debug"]:
            command += ["--wine-debug", wine_trace.channels(c["wine_debug"])]
        if c["close_during_status"] is not None:
            command += ["--close-during-status", str(c["close_during_status"])]
        return command

    def run_all(self):
        """Every start in turn, each to its end, its kill or its time-out; after each, every
        process of the prefix ends (as at a power loss) and what it left is read."""
        c = self.config
        sections = []
        for number in range(len(c["starts"])):
            sections.append(self.report(number, *self.watch(number)))
            self.clock.lap("report")
        return dict(sections[-1], screenshots=self.screenshots, errors=self.errors,
                    starts=sections if c["several_starts"] else None)

    def watch(self, number):
        """Runs the driver of one start to its end or to the time-out; returns (how, elapsed
        ms, driver log, the driver's output file)."""
        c = self.config
        start = c["starts"][number]
        suffix = f"-{number + 1}" if c["several_starts"] else ""
        log_path = os.path.join(self.unix(STAGE), f"driver{suffix}.log")
        env = {**self.env, **c["env"], **start["env"]}
        output_path = os.path.join(self.run_dir, f"driver-output{suffix}.txt")
        self.wineserver_stopped = False
        with open(output_path, "wb") as output:
            started = time.monotonic()
            driver = subprocess.Popen(self.driver_command(start, f"driver{suffix}.log"), env=env,
                                      cwd=self.unix(STAGE), stdin=subprocess.DEVNULL,
                                      stdout=output, stderr=subprocess.STDOUT)
        shots = Screenshots(c["screenshots"], c["screenshot_dir"], self.display.display,
                            f"s{number + 1}-" if suffix else "")
        how = "exited"
        watched = False
        driver_cpu = None
        while (driver_cpu := _collect(driver)) is None:
            log_text = _read(log_path)
            if not watched and log_text:
                # The driver's first line: Wine is up and the driver about to start the program.
                watched = True
                self.clock.lap("Wine start-up")
            shots.trigger(log_text, started)
            if time.monotonic() - started > c["timeout"]:
                how = "timeout"
                break
            time.sleep(POLL_SECONDS)
        elapsed_ms = int((time.monotonic() - started) * 1000)
        self.clock.lap("watched", None if driver_cpu is None else
                       {driver.pid: (DRIVER_NAME, driver_cpu)})
        self.stop_wineserver()
        self.clock.lap("wineserver stop")
        try:
            driver.wait(timeout=30)
        except subprocess.TimeoutExpired:
            driver.kill()
            driver.wait(timeout=30)
        if how == "exited" and driver.returncode != 0:
            self.errors.append("uidriver failed: " + _read(output_path).strip())
        self.screenshots += shots.finish()
        self.clock.lap("screenshots")
        return how, elapsed_ms, _read(log_path), output_path

    def stop_wineserver(self):
        if self.env and not self.wineserver_stopped:
            self.wineserver_stopped = True
            # This first process of the namespace inherits its orphans: the kill waits until
            # those it ended are gone, so they are collected as it runs (else it takes 0.75 s).
            wine_prefix.stop_wineserver(self.env, while_killing=_collect_orphans)

    # --- what the run left -------------------------------------------------------------------

    def describe_path(self, windows_path):
        path = self.unix(windows_path)
        if os.path.isdir(path):
            entries = {}
            for root, dirs, files in os.walk(path):
                def name_of(entry):
                    relative = os.path.relpath(os.path.join(root, entry), path)
                    return relative.replace("/", "\\")
                entries.update({name_of(d): "dir" for d in dirs})
                entries.update({name_of(f): os.path.getsize(os.path.join(root, f)) for f in files})
            return {"exists": True, "dir": True, "entries": entries}
        if os.path.isfile(path):
            return {"exists": True, "dir": False, "size": os.path.getsize(path)}
        return {"exists": False}

    def registry(self):
        read = [(rules.AUTOSTART_KEY, rules.AUTOSTART_VALUE),
                (rules.VERSION_KEY, rules.VERSION_VALUE)] + self.config["read_values"]
        wanted = {root: set() for root in REG_FILES}
        for path, _ in read:
            root, key = _split_root(path)
            wanted[root].add(key.lower())
        parsed = {}
        texts = {}
        for root, name in REG_FILES.items():
            text = _read(os.path.join(self.prefix, name))
            texts[root] = text
            parsed[root] = reg_file.parse_reg_file(text, wanted[root])

        def value(path, name):
            root, key = _split_root(path)
            found = reg_file.find_value(parsed[root], key, name)
            return found.to_json() if found else None

        return {
            "autostart": value(rules.AUTOSTART_KEY, rules.AUTOSTART_VALUE),
            "version": value(rules.VERSION_KEY, rules.VERSION_VALUE),
            "appwizard_key": any(APPWIZARD_KEY.lower() in t.lower() for t in texts.values()),
            "values": {f"{path}\\{name}": value(path, name)
                       for path, name in self.config["read_values"]},
        }

    def report(self, number, how, elapsed_ms, log_text, output_path):
        """What one start showed, and the disk and registry as it left them."""
        c = self.config
        summary = driver_log.summarize(log_text)
        first = summary["instances"].get("first", {})
        if how == "exited" and first.get("terminated"):
            how = "killed" if first["terminated"] == "kill-at" else "stopped"
        if how == "exited" and first.get("launch_error"):
            how = "not_started"
        if how == "timeout":
            after_ms = elapsed_ms - (first.get("launched_ms") or 0)
        else:
            after_ms = first.get("exited_ms")
        ended = {"how": how, "exit_code": first.get("exit_code"), "after_ms": after_ms,
                 "pid": first.get("pid")}
        work_folder = rules.work_folder(c["program_files"])
        planted = sorted(set(c["files"]) | set(c["dirs"]) | set(c["collect"]))
        seconds = []
        for index, spec in enumerate(c["seconds"]):
            role = "second" if index == 0 else f"second-{index + 1}"
            instance = summary["instances"].get(role) or {
                "launched_ms": None, "exit_code": None, "exited_ms": None, "terminated": None}
            seconds.append(dict(instance, role=role, at=spec["at"]))
        report = {
            "start": number + 1,
            "ended": ended,
            "second_instances": seconds,
            "messages": summary["messages"],
            "replacements": summary["replacements"],
            "message_boxes": summary["message_boxes"],
            "windows": summary["windows"],
            "status_texts": summary["status_texts"],
            "status_timeline": summary["status_timeline"],
            "close_requests": summary["close_requests"],
            "strings": summary["strings"],
            "driver": summary["driver"],
            "work_folder": dict(path=work_folder, **self.describe_path(work_folder)),
            "files": {path: self.describe_path(path) for path in planted},
            "registry": self.registry(),
            "stub_record": None,
            "collected": {},
            "wine_trace": None,
            "errors": summary["errors"],
        }
        if c["wine_debug"]:
            report["wine_trace"] = wine_trace.parse(_read(output_path), summary["launch_tick"])
        record = c["env"].get(STUB_RECORD_VARIABLE)
        for path in ([record] if record else []) + c["collect"]:
            target = self.unix(path)
            # The stand-in writes its record in the system's ANSI code page.
            code_page = SYSTEM_LOCALES[c["locale"]][1]
            encoding = f"cp{code_page}" if path == record else "utf-8"
            content = _read(target, encoding) if os.path.isfile(target) else None
            report["collected"][path] = content
        if record:
            report["stub_record"] = report["collected"][record]
        if not summary["complete"] and how != "timeout":
            report["errors"].append("the driver log ended early")
        self.errors += [f"start {number + 1}: {e}" if c["several_starts"] else e
                        for e in report["errors"]]
        return report

    def cleanup(self):
        # A second Ctrl+C must not cut the clean-up short: the session ends right after it.
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        try:
            self.stop_wineserver()
        finally:
            if self.display:
                self.display.stop()
            self.clock.lap("Xvfb stop")
            if self.mounted:
                subprocess.run(["umount", self.mounted], check=False, timeout=30)
            if self.prefix:
                wine_prefix.release_prefix(self.prefix)
            if self.run_dir and not self.config["keep"]:
                shutil.rmtree(self.run_dir, ignore_errors=True)
            self.clock.lap("prefix removal")


class Screenshots:
    """Screenshots of the display (Pillow reads it from the X server), at times after the
    program's start or when the driver logs a status text ("status:<id>") or a message box
    ("msgbox"). They are written as PNG files at the end, so that no poll waits for the encoding."""

    def __init__(self, wanted, directory, display, label=""):
        self.label = label
        self.pending = list(wanted)
        self.directory = directory
        self.display = display
        self.taken = []
        self.pictures = []

    def trigger(self, log_text, started):
        if not self.pending:
            return
        events = list(driver_log.parse_lines(log_text.rpartition("\n")[0] + "\n"))
        launch = next((ms for ms, event, f in events if event == "launch"), None)
        if launch is None:
            return
        now_ms = int((time.monotonic() - started) * 1000) - launch
        for spec in list(self.pending):
            if self._due(spec, now_ms, events):
                self.pending.remove(spec)
                self._take(spec, now_ms)

    @staticmethod
    def _due(spec, now_ms, events):
        if isinstance(spec, int):
            return now_ms >= spec
        kind, _, value = spec.partition(":")
        if kind == "status":
            status_id, _, offset = value.partition("+")
            seen = [ms for ms, e, f in events if e == "status" and f.get("id") == status_id]
            if not seen or not offset:
                return bool(seen)
            launch = next(ms for ms, e, f in events if e == "launch")
            return now_ms >= min(seen) - launch + int(offset)
        return any(e == "msgbox" and (not value or f["caption"] == value) for _, e, f in events)

    def _take(self, spec, now_ms):
        label = self.label + str(spec).replace(":", "-").replace(" ", "_")
        path = os.path.join(self.directory, f"{len(self.taken):02d}-{label}.png")
        try:
            picture = ImageGrab.grab(xdisplay=self.display)
        except OSError:
            picture = None
        self.pictures.append(picture)
        self.taken.append({"at": spec, "ms": now_ms, "path": path})

    def finish(self):
        if self.taken:
            os.makedirs(self.directory, exist_ok=True)
        for shot, picture in zip(self.taken, self.pictures):
            if picture is not None:
                picture.save(shot["path"])
            shot["ok"] = picture is not None
        for spec in self.pending:
            self.taken.append({"at": spec, "ms": None, "path": None, "ok": False})
        return self.taken


def _collect(process):
    """None while the process runs; once it has ended, its CPU seconds (with those of the
    children it collected), which Popen's own poll would drop."""
    pid, status, usage = os.wait4(process.pid, os.WNOHANG)
    if not pid:
        return None
    process.returncode = os.waitstatus_to_exitcode(status)
    return usage.ru_utime + usage.ru_stime


def _collect_orphans(keep):
    """Collects the ended processes that this process inherited, but not `keep`."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == keep:
            continue
        try:
            with open(os.path.join("/proc", entry, "stat")) as handle:
                state, parent = handle.read().rpartition(")")[2].split()[:2]
        except (FileNotFoundError, ProcessLookupError):
            continue
        if state == "Z" and int(parent) == os.getpid():
            try:
                os.waitpid(int(entry), os.WNOHANG)
            except ChildProcessError:
                pass


def _read(path, encoding="utf-8"):
    try:
        with open(path, encoding=encoding, errors="replace") as handle:
            return handle.read()
    except FileNotFoundError:
        return ""


def main(config_path, report_path):
    with open(config_path) as handle:
        config = json.load(handle)
    run = Run(config)
    try:
        run.prepare()
        report = run.run_all()
    except Exception as error:  # reported to runner.py, which raises it there
        report = {"fatal": f"{type(error).__name__}: {error}"}
    finally:
        run.cleanup()
    report["phases"] = run.clock.laps
    with open(report_path, "w") as handle:
        json.dump(report, handle, indent=1, ensure_ascii=False)


if __name__ == "__main__":
    main(*sys.argv[1:3])
