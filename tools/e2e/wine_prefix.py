"""Wine prefixes for the runs: one pristine template per cache folder, under every run's own
prefix."""

import fcntl
import os
import shutil
import subprocess
import tempfile
import time

from .xvfb import Xvfb

TEMPLATE_STAMP = "e2e-template.stamp"
# A run killed before its clean-up leaves its prefix behind; no run lasts this long.
STALE_RUN_SECONDS = 24 * 3600
PROGRAM_FILES_KEY = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion"
# Wine's own settings; its "Version" value is the Windows version programs are shown.
WINE_KEY = r"HKEY_CURRENT_USER\Software\Wine"


class PrefixError(RuntimeError):
    pass


def wine_environment(prefix, display, locale="en_US.UTF-8", extra=None):
    """The environment of every Wine command of a run: the prefix, silence, no Mono/Gecko, no
    menu entries, and no HID or USB bus drivers, which would show the simulated machine the host's
    devices and keep a core busy polling them."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "LC_", "LANG", "BIOSUPDATE_"))}
    env.update(WINEPREFIX=prefix, WINEARCH="win32", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe,winebus.sys,wineusb.sys=",
               DISPLAY=display, LC_ALL=locale)
    env.update(extra or {})
    return env


def run_wine(args, env, timeout):
    try:
        return subprocess.run(["wine", *args], env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired as error:
        raise PrefixError(f"wine {' '.join(args)} did not finish in {timeout} s") from error


def stop_wineserver(env, timeout=30, while_killing=None):
    """Kills every process of the prefix; wineserver saves the registry files as it goes.
    `while_killing(pid)` is called every 10 ms while the kill runs, with the killer's own pid."""
    killer = subprocess.Popen(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + timeout
    while killer.poll() is None and time.monotonic() < deadline:
        if while_killing:
            while_killing(killer.pid)
        time.sleep(0.01)
    if killer.poll() is None:
        killer.kill()
        killer.wait()
    try:
        subprocess.run(["wineserver", "-w"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)
    except subprocess.TimeoutExpired as error:
        raise PrefixError("wineserver did not end") from error


def _wine_version():
    result = subprocess.run(["wine", "--version"], capture_output=True, text=True, timeout=60)
    return result.stdout.strip()


def _lock(handle, timeout):
    """Waits for the exclusive lock, at most timeout seconds (another run may be making the
    template)."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            fcntl.flock(handle, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return
        except BlockingIOError:
            if time.monotonic() > deadline:
                raise PrefixError("another run held the template lock too long") from None
            time.sleep(0.5)


def ensure_template(cache_dir, timeout=600):
    """Creates <cache>/template once (wineboot -i); later calls only check its stamp.

    Concurrent runs wait on a lock file, so the template is built once."""
    os.makedirs(cache_dir, exist_ok=True)
    template = os.path.join(cache_dir, "template")
    stamp_path = os.path.join(template, TEMPLATE_STAMP)
    version = _wine_version()
    with open(os.path.join(cache_dir, "template.lock"), "w") as lock:
        _lock(lock, timeout + 120)
        if os.path.exists(stamp_path):
            with open(stamp_path) as stamp:
                if stamp.read().strip() == version:
                    return template
        shutil.rmtree(template, ignore_errors=True)
        display = Xvfb(1024, 768)
        env = wine_environment(template, display.display)
        try:
            boot = run_wine(["wineboot", "-i"], env, timeout)
            # No window manager runs on the displays: without this Wine waits 2 s for one each
            # time it hides a window.
            run_wine(["reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N",
                      "/f"], env, timeout)
            stop_wineserver(env)
        finally:
            display.stop()
        if not os.path.exists(os.path.join(template, "system.reg")):
            raise PrefixError("wineboot made no prefix: " + boot.stderr.decode(errors="replace"))
        with open(stamp_path, "w") as stamp:
            stamp.write(version + "\n")
    return template


def remove_stale_runs(runs_dir, now=None):
    now = time.time() if now is None else now
    for entry in os.scandir(runs_dir):
        if entry.name.startswith("run-") and now - entry.stat().st_mtime > STALE_RUN_SECONDS:
            shutil.rmtree(entry.path, ignore_errors=True)


def new_run_dir(runs_dir):
    """A fresh folder for one run's prefix, made before the copy so that an interrupted copy is
    still removed with it."""
    os.makedirs(runs_dir, exist_ok=True)
    remove_stale_runs(runs_dir)
    return tempfile.mkdtemp(prefix="run-", dir=runs_dir)


def new_prefix(template, run_dir, copy=False):
    """A fresh prefix for one run in `run_dir`: the template seen through a copy-on-write overlay,
    so that only what the run changes is written (into run_dir/changes); or, with `copy` or where
    the kernel allows no overlay (inside some containers), a full copy of the template. The
    overlay is a mount of the run's private namespace: release_prefix ends it."""
    prefix = os.path.join(run_dir, "prefix")
    changes, work = os.path.join(run_dir, "changes"), os.path.join(run_dir, "overlay-work")
    mounted = False
    if not copy:
        for folder in (prefix, changes, work):
            os.makedirs(folder)
        mounted = subprocess.run(
            ["mount", "-t", "overlay", "e2e-prefix", "-o",
             f"lowerdir={template},upperdir={changes},workdir={work}", prefix],
            stdin=subprocess.DEVNULL, capture_output=True, timeout=30).returncode == 0
        if not mounted:
            os.rmdir(prefix)
    if not mounted:
        subprocess.run(["cp", "-a", template, prefix], check=True, timeout=300)
    os.remove(os.path.join(prefix, TEMPLATE_STAMP))
    return prefix


def release_prefix(prefix):
    """Ends a prefix's overlay, if it has one, so that removing the run's folder removes only
    what the run wrote."""
    if os.path.ismount(prefix):
        subprocess.run(["umount", prefix], check=False, timeout=30)


def unix_path(prefix, windows_path):
    """Maps "C:\\dir\\file" into the prefix, matching existing names without regard to case
    as Wine does; names that do not exist yet keep the given spelling."""
    drive, sep, rest = windows_path.partition(":")
    if not sep or len(drive) != 1:
        raise ValueError(f"not an absolute Windows path: {windows_path!r}")
    device = os.path.join(prefix, "dosdevices", drive.lower() + ":")
    if not os.path.exists(device):
        raise ValueError(f"the prefix has no drive {drive.upper()}: for {windows_path!r}")
    root = os.path.realpath(device)
    path = root
    for part in [p for p in rest.replace("/", "\\").split("\\") if p]:
        match = part
        if os.path.isdir(path):
            for entry in os.listdir(path):
                if entry.lower() == part.lower():
                    match = entry
                    break
        path = os.path.join(path, match)
    return path
