"""The program's CPU share while its status screen animates during a long flash: the real
BIOSUpdate.exe under the runner with the stand-in utility made to run for a while, the CPU time of
its process as the host sees it (the runner's PID namespace is a child of the host's, so its
processes show there) at the stand-in's first and last sighting. Only descendants of this process
count, so other runs on the machine do not."""

import threading
import time

import psutil

from ..bench import rules
from ..e2e import stub_record

PROGRAM = "BIOSUpdate.exe"
# Besides the program: what draws its frames (Xvfb), Wine's server, and the runner's driver,
# which reads the screen every 30 ms.
WATCHED = (PROGRAM, "Xvfb", "wineserver64", "uidriver.exe")
SAMPLE_SECONDS = 0.5


def _descendants():
    """{pid: (name, CPU seconds)} of this process's live descendants: an ended process stays a
    zombie until its parent collects it."""
    found = {}
    for process in psutil.Process().children(recursive=True):
        try:
            with process.oneshot():
                if process.status() != psutil.STATUS_ZOMBIE:
                    times = process.cpu_times()
                    found[process.pid] = (process.name(), times.user + times.system)
        except psutil.NoSuchProcess:
            pass
    return found


class Watch(threading.Thread):
    """Samples {pid: (name, CPU seconds)} of this process's descendants until stopped."""

    def __init__(self):
        super().__init__(daemon=True)
        self.samples = []
        self.stopping = threading.Event()

    def run(self):
        while not self.stopping.is_set():
            sample = _descendants()
            self.samples.append((time.monotonic(), sample))
            self.stopping.wait(SAMPLE_SECONDS)


def measure(wine, product, flash_seconds, running_bios):
    """{"seconds": the watched time, "shares": {name: share of one core}} over the time in which
    the stand-in ran."""
    watch = Watch()
    watch.start()
    try:
        wine.run(product, bios_version=running_bios, answer_delay_ms=0,
                 env={stub_record.DELAY_VARIABLE: str(flash_seconds * 1000)},
                 timeout=flash_seconds + 60)
    finally:
        watch.stopping.set()
        watch.join()
    during = [(at, sample) for at, sample in watch.samples
              if any(name == rules.UTILITY for name, _ in sample.values())]
    if len(during) < 2:
        raise RuntimeError("the stand-in utility was not seen running")
    (start, first), (end, last) = during[0], during[-1]
    seconds = end - start
    shares = {}
    # By process: only those alive at both ends of the watched time count.
    for pid, (name, cpu_seconds) in first.items():
        if name in WATCHED and last.get(pid, (None,))[0] == name:
            used = (last[pid][1] - cpu_seconds) / seconds
            shares[name] = shares.get(name, 0) + used
    if PROGRAM not in shares:
        raise RuntimeError("the program was not seen running during the flash")
    return {"seconds": seconds, "shares": shares}
