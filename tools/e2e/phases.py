"""What each phase of a run costs: wall seconds, and CPU seconds of every process of the run's
PID namespace, read from its /proc. A process's time stays in the table until its parent collects
it, and then goes to the parent's children's time, so the sum over the namespace only grows as
the run goes on; a process the session never collects stays a zombie with its times until the
namespace ends."""

import os
import time

TICKS = os.sysconf("SC_CLK_TCK")


def process_times(proc="/proc"):
    """{pid: (name, own CPU s, collected children's CPU s)} of every process under `proc`."""
    found = {}
    for entry in os.listdir(proc):
        if not entry.isdigit():
            continue
        try:
            with open(os.path.join(proc, entry, "stat")) as handle:
                text = handle.read()
        except (FileNotFoundError, ProcessLookupError):
            continue
        # The name may hold spaces and parentheses; the fields after it do not.
        name = text[text.index("(") + 1:text.rindex(")")]
        fields = text[text.rindex(")") + 2:].split()
        own, children = int(fields[11]) + int(fields[12]), int(fields[13]) + int(fields[14])
        found[int(entry)] = (name, own / TICKS, children / TICKS)
    return found


def total_cpu(times):
    return sum(own + children for _, own, children in times.values())


def by_name(before, after):
    """{process name: CPU s} spent between two readings of process_times, by each process itself
    (those that started in between from nothing)."""
    spent = {}
    for pid, (name, own, _) in after.items():
        earlier = before.get(pid)
        used = own - (earlier[1] if earlier and earlier[0] == name else 0)
        if used > 0:
            spent[name] = round(spent.get(name, 0) + used, 3)
    return spent


class Clock:
    """Laps of a run: each lap's wall and CPU seconds since the previous one, and the CPU seconds
    by process name. The first lap starts when the namespace's first process did."""

    def __init__(self, proc="/proc"):
        self.proc = proc
        with open(os.path.join(proc, "uptime")) as handle:
            uptime = float(handle.read().split()[0])
        with open(os.path.join(proc, "1", "stat")) as handle:
            started = int(handle.read().rpartition(")")[2].split()[19]) / TICKS
        self._wall = time.monotonic() - max(0.0, uptime - started)
        self._times = {}
        self.laps = []

    def reading(self):
        return process_times(self.proc)

    def lap(self, phase, collected=None):
        """Ends a phase; `collected` gives {pid: (process name, CPU s of its whole life)} of
        processes collected during it, whose own time the table no longer shows by name; what
        earlier laps gave them already is not counted again."""
        now, times = time.monotonic(), self.reading()
        spent = by_name(self._times, times)
        for pid, (name, seconds) in (collected or {}).items():
            earlier = self._times.get(pid)
            seconds -= earlier[1] if earlier and earlier[0] == name else 0
            spent[name] = round(spent.get(name, 0) + seconds, 3)
        self.laps.append({"phase": phase, "wall_s": round(now - self._wall, 3),
                          "cpu_s": round(total_cpu(times) - total_cpu(self._times), 3),
                          "by_process": spent})
        self._wall, self._times = now, times
