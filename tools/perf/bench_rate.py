"""The package bench's throughput (python3 -m tools.bench): the matrix run with several machines at
once, in machines per minute, against the ceiling that the program's own pauses set. Every machine
needs at least the pauses the program makes on it (from the bench's own expectations); with N at
once the set needs at least the sum of those over N, and never less than its longest machine. The
CPU time of the whole bench (its runs' namespaces are collected into it) is what the machine
gives each machine."""

import json
import os
import resource
import subprocess
import sys
import tempfile

from .. import ROOT
from ..bench import package, rules


def _children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run(product_dir, driver, cache, jobs, quick, progress):
    """{"machines", "differing", "seconds", "cpu_s", "load", "pauses_ms", "results"} of one bench
    run with `jobs` machines at once: "cpu_s" is the CPU time of the whole bench, "load" the
    1-minute load average at its end, "pauses_ms" lists each machine's least time (its pauses
    and the stand-in's flash) and "results" holds each machine's result."""
    with tempfile.TemporaryDirectory(prefix="perf-bench-") as folder:
        out = os.path.join(folder, "out")
        description = os.path.join(product_dir, package.DESCRIPTION_NAME)
        command = [sys.executable, "-m", "tools.bench", description, "--jobs", str(jobs),
                   "--out", out, "--driver", driver, "--cache", cache]
        progress(f"bench, {jobs} at once")
        cpu_before = _children_cpu()
        result = subprocess.run(command + (["--quick"] if quick else []), cwd=ROOT,
                                stdin=subprocess.DEVNULL, capture_output=True, text=True)
        cpu_s = _children_cpu() - cpu_before
        if result.returncode not in (0, 1):
            raise RuntimeError(f"the bench failed: {result.stderr.strip()[-500:]}")
        with open(os.path.join(out, "results.json")) as handle:
            results = json.load(handle)
    machines = results["machines"]
    return {"machines": len(machines),
            "differing": sum(1 for m in machines if m["differences"]),
            "seconds": results["seconds"], "cpu_s": cpu_s, "load": os.getloadavg()[0],
            "pauses_ms": [rules.least_ms(m["machine"], results["target"]) for m in machines],
            "results": machines}


def floor_seconds(pauses_ms, jobs):
    """The shortest time the set could take with `jobs` at once if runs took only the pauses."""
    return max(max(pauses_ms), sum(pauses_ms) / jobs) / 1000


def recommended(measured):
    """Of {jobs: run}, the fewest machines at once within 5% of the best rate, among the runs in
    which every machine behaved as expected; None when there is none."""
    sound = {jobs: m["machines"] / m["seconds"] * 60 for jobs, m in measured.items()
             if not m["differing"]}
    if not sound:
        return None
    best = max(sound.values())
    return min(jobs for jobs, rate in sound.items() if rate >= 0.95 * best)
