"""Runs the machines through the end-to-end runner (tools/e2e), several at once, with progress on
stderr; an interruption ends every run's process tree before it returns."""

import concurrent.futures
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

import psutil
from PIL import Image

from .. import ROOT
from ..e2e import runner, session, stub_record, wine_trace
from . import compare, rules, status_screen

# An earlier run's autostart value, as the program plants it before a flash.
LEFT_AUTOSTART = (rules.AUTOSTART_KEY, rules.AUTOSTART_VALUE, r"C:\Tools\BIOSUpdate.exe 1")
# The decision's status screen, whichever it is; or a message box.
SCREENSHOTS_STATUS = [f"status:{i}" for i in rules.OUTCOMES]
SCREENSHOTS_BOX = ["msgbox"]
# Long enough for a screenshot of the box before it is answered.
ANSWER_DELAY_MS = 1000
TIMEOUT_S = 90
# How long a vendor's flash utility may run: minutes are usual, beyond this it counts as hung.
UTILITY_TIMEOUT_S = 600
HEARTBEAT_S = 20


class Interrupted(Exception):
    pass


class Terminated(Exception):
    """SIGTERM, which unlike a Ctrl+C at the terminal reaches this process alone."""


def leftovers(folder, names):
    """Files of an earlier run that was cut short, planted in the work folder `folder`."""
    return {f"{folder}\\{name}": f"left over: {name}\r\n" for name in names}


def runner_options(exe, machine, target, driver, cache, screenshot_dir, env=None):
    """The runner's options for one machine; `env` is added to the program's environment."""
    options = {key: machine[key] for key in ("ac", "battery", "bios_version", "locale",
                                             "windows", "screen", "program_files", "answer",
                                             "args")}
    if machine["leftovers"]:
        options["files"] = leftovers(rules.work_folder(machine["program_files"]),
                                     target["payload"])
        options["registry"] = [LEFT_AUTOSTART]
    if machine["second_instance"]:
        options["second_instances"] = [{"at": "question", "stop_first_after": True}]
    if machine["stale_image"] is not None:
        image = rules.work_folder(machine["program_files"]) + "\\" + target["image"]
        options.update(files={image: machine["stale_image"]}, read_only=[image])
    stand_in = {name: str(machine[key]) for key, name in [
        ("utility_delay_ms", stub_record.DELAY_VARIABLE),
        ("utility_box_ms", stub_record.MESSAGE_BOX_VARIABLE)] if machine[key] is not None}
    # The utility's start and end come from Wine's trace, whatever utility the package carries.
    flash = rules.expect(machine, target)["utility"] is not None
    options.update(env={**(env or {}), **stand_in,
                        session.STUB_RECORD_VARIABLE: session.STUB_RECORD},
                   wine_debug=wine_trace.PROCESS_CHANNELS,
                   screenshots=SCREENSHOTS_STATUS + SCREENSHOTS_BOX,
                   screenshot_dir=screenshot_dir, answer_delay_ms=ANSWER_DELAY_MS,
                   timeout=TIMEOUT_S + (UTILITY_TIMEOUT_S if flash else 0))
    return runner.RunOptions(exe, driver=driver, cache=cache, **options)


def _children(processes):
    """The live (not zombie) children of the processes."""
    found = []
    for process in processes:
        try:
            found += [c for c in process.children() if c.status() != psutil.STATUS_ZOMBIE]
        except psutil.NoSuchProcess:
            pass
    return found


def _signal(processes, number):
    for process in processes:
        try:
            process.send_signal(number)
        except psutil.NoSuchProcess:
            pass


def _ctrl_c_reached_runs(reason):
    """Whether a Ctrl+C at the terminal interrupted the runs too: they share this process's
    group, and the terminal sends SIGINT to its whole foreground group."""
    if not isinstance(reason, KeyboardInterrupt):
        return False
    try:
        with open("/dev/tty") as tty:
            return os.tcgetpgrp(tty.fileno()) == os.getpgrp()
    except OSError:
        return False


def stop_runs(reason, grace_s=20):
    """Ends every run this process started. Each run is an unshare whose child is the first
    process of the run's namespace: one SIGINT lets it stop Wine and Xvfb and remove its prefix
    (a second one would cut that short); whatever is left after the grace time is killed, and
    with it the whole namespace."""
    deadline = time.monotonic() + grace_s
    me = [psutil.Process()]
    if not _ctrl_c_reached_runs(reason):
        _signal(_children(_children(me)), signal.SIGINT)
    while _children(me) and time.monotonic() < deadline:
        time.sleep(0.2)
    _signal(_children(me), signal.SIGKILL)


def prepare_template(cache):
    """Makes the runner's template prefix once, in a PID namespace of its own, so that an
    interruption leaves none of wineboot's processes behind."""
    command = ["unshare", "--pid", "--fork", "--kill-child", "--mount-proc", sys.executable,
               "-m", "tools.e2e", "--prepare-only", "--cache", cache]
    result = subprocess.run(command, cwd=ROOT, stdin=subprocess.DEVNULL, capture_output=True,
                            text=True)
    if result.returncode != 0:
        raise runner.E2EError("the template prefix could not be made: " + result.stderr.strip())


class Bench:
    def __init__(self, exe, target, out_dir, driver, cache, jobs, env=None, bitmaps=None):
        """`bitmaps`: the executable's pictures by resource id, from which the status screen's
        frame is checked in the screenshots."""
        self.exe, self.target, self.out_dir = exe, target, out_dir
        self.driver, self.cache, self.jobs, self.env = driver, cache, jobs, env
        self.bitmaps = bitmaps or {}
        self.stopping = threading.Event()

    def screen_differences(self, expected, shot):
        """How the status screen's screenshot differs from the expected one; a machine that was
        to show the status screen but has no screenshot of it says so."""
        if expected is None:
            return []
        if shot is None or not str(shot["at"]).startswith("status:"):
            return ["no screenshot of the status screen was taken"]
        dib = self.bitmaps.get(expected["picture"])
        if dib is None:
            return [f"the program carries no picture {expected['picture']} for its status screen"]
        with Image.open(shot["path"]) as taken:
            return status_screen.faults(taken, status_screen.picture(dib), expected)

    def run_one(self, machine):
        """One machine's result: its expected and observed outcome and their differences."""
        expected = rules.expect(machine, self.target)
        result = {"machine": machine, "expected": expected, "observed": None,
                  "differences": [], "screenshot": None, "seconds": None, "phases": None}
        if self.stopping.is_set():
            raise Interrupted()
        shots = os.path.join(self.out_dir, "screenshots", machine["name"])
        shutil.rmtree(shots, ignore_errors=True)
        started = time.monotonic()
        try:
            report = runner.run(runner_options(self.exe, machine, self.target, self.driver,
                                               self.cache, shots, self.env))
        except runner.E2EError as error:
            if self.stopping.is_set():
                raise Interrupted() from error
            result["differences"] = [f"the run failed: {error}"]
            return result
        finally:
            result["seconds"] = round(time.monotonic() - started, 1)
        result["phases"] = report.data["phases"]
        result["observed"] = compare.observe(report.data)
        result["differences"] = compare.differences(expected, result["observed"])
        # The decision's status screen if it showed, else the first message box.
        taken = sorted((s for s in report["screenshots"] if s["ok"]),
                       key=lambda s: not str(s["at"]).startswith("status:"))
        shot = taken[0] if taken else None
        # With other status texts than expected, the difference is already named.
        if [s["id"] for s in result["observed"]["status"]] == [s["id"] for s in
                                                               expected["status"]]:
            result["differences"] += self.screen_differences(expected["screen"], shot)
        if shot:
            result["screenshot"] = os.path.join("screenshots", machine["name"] + ".png")
            shutil.copyfile(shot["path"], os.path.join(self.out_dir, result["screenshot"]))
        shutil.rmtree(shots, ignore_errors=True)
        return result

    def run(self, machines, progress=sys.stderr):
        """Results in the machines' order; raises Interrupted after ending every run."""
        started = time.monotonic()
        results = {}
        # The longest runs first, so that the last ones to finish are short.
        order = sorted(machines, key=lambda m: -rules.least_ms(m, self.target))
        pool = concurrent.futures.ThreadPoolExecutor(max_workers=self.jobs)
        futures = {pool.submit(self.run_one, m): m for m in order}
        last_line = time.monotonic()
        try:
            pending = set(futures)
            while pending:
                done, pending = concurrent.futures.wait(pending, timeout=1)
                for future in done:
                    result = future.result()
                    results[result["machine"]["name"]] = result
                    _print_done(progress, result, len(results), len(machines), started)
                    last_line = time.monotonic()
                if pending and time.monotonic() - last_line > HEARTBEAT_S:
                    differing = sum(1 for r in results.values() if r["differences"])
                    print(f"[{len(results)}/{len(machines)} {_clock(started)}] still running; "
                          f"{differing} differ so far", file=progress, flush=True)
                    last_line = time.monotonic()
        except (KeyboardInterrupt, Terminated, Interrupted) as error:
            self.stopping.set()
            pool.shutdown(wait=False, cancel_futures=True)
            print("bench: interrupted; ending the runs", file=progress, flush=True)
            stop_runs(error)
            pool.shutdown(wait=True)
            raise Interrupted() from error
        pool.shutdown()
        return [results[m["name"]] for m in machines]


def _clock(started):
    seconds = int(time.monotonic() - started)
    return f"{seconds // 60}:{seconds % 60:02d}"


def _print_done(stream, result, done, total, started):
    name = result["machine"]["name"]
    verdict = "as expected" if not result["differences"] else \
        f"DIFFERS ({len(result['differences'])})"
    ran = [u["ran_ms"] for u in (result["observed"] or {}).get("utility", [])
           if u["ran_ms"] is not None]
    verdict += "".join(f"; the flash utility ran {ms / 1000:.1f} s" for ms in ran)
    print(f"[{done}/{total} {_clock(started)}] {name}: {verdict}", file=stream, flush=True)
    for sentence in result["differences"]:
        print(f"    {sentence}", file=stream, flush=True)
