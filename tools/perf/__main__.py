"""Measures how little BIOSUpdate adds to its own pauses, how lightly it waits and how fast the
package bench runs, and prints one table (Markdown): each figure beside a reference measured in
the same run, its target and a verdict. Builds what it needs first. Must run as root (the
end-to-end runner mounts a fake /sys/class in private namespaces). Timings depend on the machine's
load: take figures to keep on a quiet machine.

Figures (--only takes a comma-separated list of them):
  overhead  process start to end under Wine per outcome, less the program's pauses, the open
            question and (flash) the stand-in utility's own time; and net of Wine: less the
            empty program's whole run too
  startup   process start to the question on the screen, against an empty program
  payload   the payload written by the program's routines, against CopyFileA of the same files
  paint     one paint of the status screen, median and 99th percentile, with the bitmap loads alone
  cpu       the program's CPU share while the status screen animates during a long flash
  growth    GDI objects, handles and working set after 10,000 paints against after the first
  size      the executable's code and data without resources, and its debug sections
  bench     the package bench's machines per minute and CPU seconds per machine, with several
            machines at once
  phases    what a bench machine costs beyond the pauses, by phase of its run (CPU and wall
            seconds), one machine at a time

Exit status: 0 when the table is printed (whether or not each target is met), 1 when a build or
a run failed, 2 on bad usage or without root."""

import argparse
import datetime
import json
import os
import platform
import statistics
import subprocess
import sys

from .. import DRIVER, PRODUCT_DIR, ROOT, RUN_CACHE
from ..e2e import stub_record
from . import bench_rate, build, costs, cpu_share, outcomes, pe_size
from .wine_runs import RunFailed, Wine

FIGURES = ("overhead", "startup", "payload", "paint", "cpu", "growth", "size", "bench", "phases")
# Repetitions (full, quick).
OUTCOME_RUNS = (3, 1)
# Runs of the no-image outcome when the start-up is measured without the overhead.
STARTUP_RUNS = (5, 3)
PAYLOAD_REPETITIONS = (40, 10)
UTILITY_LAUNCHES = (10, 5)
TIMED_PAINTS = 1000
FLASH_SECONDS = (60, 20)
# Targets.
OVERHEAD_MS = STARTUP_MS = 100
PAYLOAD_RATIO = 1.5
PAINT_MEDIAN_MS = 2.0
CPU_SHARE = 0.02
# Working-set noise that is no growth: one allocation granule of Windows.
WORKING_SET_SLACK_KIB = 64
SIZE_KIB = 256
BENCH_RATE = 30  # machines a minute, the full matrix
# A process's CPU in a machine's phase worth a mention.
PROCESS_SHOWN_S = 0.01


def progress(text):
    print(f"benchmark: {text}", file=sys.stderr, flush=True)


def verdict(met):
    return "met" if met else "**missed**"


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


class Benchmark:
    def __init__(self, args):
        self.args, self.quick = args, args.quick
        self.rows, self.raw = [], {}
        self.product = self.wine = self.programs = None
        self.paint_median = None
        self.bench_runs = {}

    def pick(self, pair):
        return pair[1] if self.quick else pair[0]

    def row(self, figure, measured, reference, target, met):
        self.rows.append((figure, measured, reference, target,
                          "—" if met is None else verdict(met)))

    # --- figures ---------------------------------------------------------------------------

    def outcome_figures(self, wanted):
        all_outcomes = "overhead" in wanted
        names = list(outcomes.PAUSES_MS) if all_outcomes else ["no image"]
        runs, empty_runs = outcomes.run_all(
            self.wine, self.product, self.programs["perf_empty"], names,
            self.pick(OUTCOME_RUNS if all_outcomes else STARTUP_RUNS), progress)
        self.raw["empty_runs"] = [r["ended"] | {"question": outcomes.question(r)}
                                  for r in empty_runs]
        self.raw["runs"] = {name: [r["ended"] | {"question": outcomes.question(r)}
                                   for r in reports] for name, reports in runs.items()}
        if "overhead" in wanted:
            utility = self.utility_ms()
            # The stand-in runs on the flash path only.
            utility_on = {name: utility if name == "flash" else 0 for name in names}
            wine_ms = outcomes.whole_run(empty_runs)
            for name in names:
                over, floor = outcomes.overhead(runs[name], outcomes.PAUSES_MS[name],
                                                utility_on[name])
                stand_in = f" + stand-in {utility:.0f}" if utility_on[name] else ""
                self.row(f"Overhead: {name}", f"+{over - wine_ms:.0f} ms net of Wine "
                         f"(+{over:.0f} ms, x{(floor + over) / floor:.4f})",
                         f"floor {floor:.0f} ms (pauses {outcomes.PAUSES_MS[name]}{stand_in}); "
                         f"empty program's whole run {wine_ms:.0f} ms",
                         f"net < {OVERHEAD_MS} ms", over - wine_ms < OVERHEAD_MS)
            split = [outcomes.phases(report, name, utility_on[name])
                     for name in names for report in runs[name]]
            split = [phases for phases in split if phases is not None]
            if split:
                medians = [statistics.median(column) for column in zip(*split)]
                self.row("Overhead: where it goes (medians)", "; ".join(
                    f"{phase} {ms:+.0f}" if i else f"{phase} {ms:.0f}"
                    for i, (phase, ms) in enumerate(zip(outcomes.PHASES, medians))),
                    "ms beyond the pauses, from the driver's sightings", "—", None)
        if "startup" in wanted:
            program = outcomes.startup([r for reports in runs.values() for r in reports])
            empty = outcomes.startup(empty_runs)
            self.row("Start-up to the question", f"{program:.0f} ms ({program - empty:+.0f})",
                     f"empty program {empty:.0f} ms", f"< +{STARTUP_MS} ms",
                     program - empty < STARTUP_MS)

    def utility_ms(self):
        progress("stand-in utility launches")
        results = self.wine.probe(self.programs["perf_probe"], "stub", self.pick(UTILITY_LAUNCHES),
                                  env={stub_record.DELAY_VARIABLE: "0"})
        self.raw["stub_ms"] = results["stub_ms"]
        return statistics.median(results["stub_ms"])

    def payload(self):
        progress("payload writing")
        r = self.wine.probe(self.programs["perf_probe"], "payload",
                            self.pick(PAYLOAD_REPETITIONS))
        self.raw["payload"] = r
        program = statistics.median(r["payload_program_ms"])
        copies = statistics.median(r["payload_copy_ms"])
        size = f"{r['payload_files'][0]:.0f} files, {r['payload_bytes'][0] / 1024:.0f} KiB"
        self.row("Payload writing", f"{program:.2f} ms (x{program / copies:.2f})",
                 f"CopyFileA {copies:.2f} ms ({size})", f"x < {PAYLOAD_RATIO}",
                 program / copies < PAYLOAD_RATIO)

    def paint(self, wanted):
        progress("painting")
        # Ten thousand paints: minutes when a paint takes tens of ms.
        r = self.wine.probe(self.programs["perf_probe"], "paint", TIMED_PAINTS, timeout=1200)
        self.raw["paint"] = {k: v for k, v in r.items() if not k.endswith("_ms")}
        if "paint" in wanted:
            median = statistics.median(r["paint_ms"])
            loads = statistics.median(r["bitmap_loads_ms"])
            self.paint_median = median
            self.row("Paint, median", f"{median:.2f} ms",
                     f"its two bitmap loads alone {loads:.2f} ms ({loads / median:.0%})",
                     f"< {PAINT_MEDIAN_MS} ms", median < PAINT_MEDIAN_MS)
            self.row("Paint, 99th percentile", f"{percentile(r['paint_ms'], 0.99):.2f} ms",
                     f"loads alone {percentile(r['bitmap_loads_ms'], 0.99):.2f} ms", "—", None)
        if "growth" in wanted:
            paints = f"{r['paints'][0]:.0f}"
            for key, label, slack in (("gdi", "GDI objects", 0),
                                      ("handles", "kernel handles", 0),
                                      ("working_set_kib", "working set KiB",
                                       WORKING_SET_SLACK_KIB)):
                first, last = r[f"after_first_{key}"][0], r[f"after_last_{key}"][0]
                self.row(f"Growth: {label}",
                         f"{last:.0f} after {paints} paints ({last - first:+.0f})",
                         f"{first:.0f} after the first", "no growth", last - first <= slack)

    def cpu(self):
        seconds = self.pick(FLASH_SECONDS)
        progress(f"CPU share during a {seconds} s flash")
        image = outcomes.image_name(os.path.dirname(self.product))
        flash = outcomes.machines(image)["flash"]
        shares = cpu_share.measure(self.wine, self.product, seconds, flash["bios_version"])
        self.raw["cpu"] = shares
        s = shares["shares"]
        others = ", ".join(f"{name} {s[name]:.1%}" for name in cpu_share.WATCHED[1:] if name in s)
        expected = ""
        if self.paint_median is not None:
            expected = f"10 paints/s x median paint = {10 * self.paint_median / 1000:.1%}; "
        self.row("CPU share while animating", f"{s[cpu_share.PROGRAM]:.1%} of a core over "
                 f"{shares['seconds']:.0f} s", expected + others, f"< {CPU_SHARE:.0%}",
                 s[cpu_share.PROGRAM] < CPU_SHARE)

    def size(self):
        product = build.product(self.args.product)
        kinds = pe_size.kinds(product)
        self.raw["size"] = kinds
        kib = {k: v / 1024 for k, v in kinds.items()}
        whole = os.path.getsize(product) / 1024
        self.row("Size: code and data", f"{kib['code'] + kib['data']:.0f} KiB "
                 f"(code {kib['code']:.0f}, data {kib['data']:.0f})",
                 f"whole file {whole:.0f} KiB, resources {kib['resources']:.0f} KiB",
                 f"< {SIZE_KIB} KiB", kib["code"] + kib["data"] < SIZE_KIB)
        self.row("Size: debug sections", f"{kib['debug']:.0f} KiB", "—", "none",
                 kinds["debug"] == 0)

    def bench_run(self, jobs):
        """The bench with `jobs` machines at once, run once for every figure that needs it."""
        if jobs not in self.bench_runs:
            self.bench_runs[jobs] = bench_rate.run(self.args.product, self.args.driver,
                                                   self.args.cache, jobs, self.quick, progress)
        return self.bench_runs[jobs]

    def bench(self):
        measured = {jobs: self.bench_run(jobs) for jobs in self.args.bench_jobs}
        for jobs, m in measured.items():
            floor = bench_rate.floor_seconds(m["pauses_ms"], jobs)
            self.row(f"Bench, {jobs} at once", f"{m['machines'] / m['seconds'] * 60:.1f} machines"
                     f"/min ({m['machines']} in {m['seconds']:.0f} s, {m['differing']} differing);"
                     f" {m['cpu_s'] / m['machines']:.2f} CPU s per machine",
                     f"pauses' ceiling {m['machines'] / floor * 60:.1f}/min ({floor:.0f} s); "
                     f"load {m['load']:.2f} at its end", "—", None)
        self.raw["bench"] = {jobs: {k: v for k, v in m.items() if k != "results"}
                             for jobs, m in measured.items()}
        choice = bench_rate.recommended(measured)
        rate = measured[choice]["machines"] / measured[choice]["seconds"] * 60 if choice else 0
        self.row("Bench: default parallelism", f"{choice} at once, {rate:.1f} machines/min",
                 "fewest at once within 5% of the best rate, every machine as expected",
                 "—" if self.quick else f">= {BENCH_RATE}/min",
                 None if self.quick else rate >= BENCH_RATE)

    def phases(self):
        m = self.bench_run(1)
        self.raw["phases"] = [r["phases"] for r in m["results"]]
        phases = costs.by_phase(m["results"])
        count = sum(1 for r in m["results"] if r.get("phases"))
        for phase, cpu_s, wall_s, having, processes in phases:
            shown = ", ".join(f"{name} {seconds:.3f}" for name, seconds in processes.items()
                              if seconds >= PROCESS_SHOWN_S)
            self.row(f"Machine cost: {phase}", f"{cpu_s:.3f} CPU s, {wall_s:.3f} s wall",
                     f"{having} of {count} machines" + (f"; CPU s by process: {shown}"
                                                        if shown else ""), "—", None)
        self.row("Machine cost: in all", f"{sum(p[1] for p in phases):.2f} CPU s, "
                 f"{sum(p[2] for p in phases):.2f} s wall",
                 f"the whole bench one at a time: {m['cpu_s'] / m['machines']:.2f} CPU s per "
                 f"machine; load {m['load']:.2f} at its end", "—", None)

    # --- the run ---------------------------------------------------------------------------

    def run(self, wanted):
        a = self.args
        under_wine = wanted & {"overhead", "startup", "payload", "paint", "cpu", "growth"}
        if under_wine or wanted & {"bench", "phases"}:
            self.product = build.product(a.product)
            build.driver(a.driver)
            self.wine = Wine(a.driver, a.cache)
            progress("preparing Wine")
            self.wine.prepare()
        if under_wine:
            self.programs = build.programs(a.tree)
        if "size" in wanted:
            self.size()
        if "payload" in wanted:
            self.payload()
        if wanted & {"paint", "growth"}:
            self.paint(wanted)
        if wanted & {"overhead", "startup"}:
            self.outcome_figures(wanted)
        if "cpu" in wanted:
            self.cpu()
        if "phases" in wanted:
            self.phases()
        if "bench" in wanted:
            self.bench()


def machine_line():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as handle:
        for line in handle:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True).stdout.strip()
    return (f"{platform.node()}: {model}, {len(os.sched_getaffinity(0))} cores, "
            f"{platform.system()} {platform.release()}, {wine}, commit {commit or 'unknown'}")


def parse_arguments(argv):
    p = argparse.ArgumentParser(prog="python3 -m tools.perf", description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--only", metavar="FIGURES", help="comma-separated figures (default: all)")
    p.add_argument("--quick", action="store_true",
                   help="fewer repetitions, a 20 s flash, the bench's quick set")
    p.add_argument("--product", default=PRODUCT_DIR,
                   help="product tree whose BIOSUpdate.exe is measured (default: %(default)s)")
    p.add_argument("--tree", default=ROOT / "build" / "perf",
                   help="tree for the benchmark programs (default: %(default)s)")
    p.add_argument("--driver", default=DRIVER, help="uidriver.exe (default: "
                   "%(default)s)")
    p.add_argument("--cache", default=RUN_CACHE,
                   help="the runner's template prefix and runs (default: %(default)s)")
    p.add_argument("--bench-jobs", default="4,6,8,10,12",
                   help="machines at once to measure the bench with (default: %(default)s)")
    p.add_argument("--json", help="also write the raw figures to this file")
    args = p.parse_args(argv)
    wanted = set(args.only.split(",")) if args.only else set(FIGURES)
    unknown = wanted - set(FIGURES)
    if unknown:
        p.error(f"unknown figures {', '.join(sorted(unknown))}; choose from {', '.join(FIGURES)}")
    try:
        args.bench_jobs = [int(jobs) for jobs in args.bench_jobs.split(",")]
    except ValueError:
        p.error("--bench-jobs takes numbers like 1,2,4")
    args.product, args.tree = os.path.abspath(args.product), os.path.abspath(args.tree)
    args.driver, args.cache = os.path.abspath(args.driver), os.path.abspath(args.cache)
    return args, wanted


def main(argv):
    args, wanted = parse_arguments(argv)
    if os.geteuid() != 0 and wanted - {"size"}:
        print("benchmark: run as root (the end-to-end runner needs it), or --only size",
              file=sys.stderr)
        return 2
    started = datetime.datetime.now().astimezone()
    load_before = os.getloadavg()
    benchmark = Benchmark(args)
    try:
        benchmark.run(wanted)
    except (build.BuildFailed, RunFailed, RuntimeError) as error:
        print(f"benchmark: {error}", file=sys.stderr)
        return 1
    load_after = os.getloadavg()
    print(f"BIOSUpdate benchmark, {started:%Y-%m-%d %H:%M}{' (quick)' if args.quick else ''}")
    print(f"{machine_line()}")
    print(f"load average (1 min) {load_before[0]:.2f} at the start, {load_after[0]:.2f} at the "
          f"end\n")
    print("| Figure | Measured | Reference (same run) | Target | Verdict |")
    print("|---|---|---|---|---|")
    for row in benchmark.rows:
        print("| " + " | ".join(row) + " |")
    if args.json:
        with open(args.json, "w") as handle:
            json.dump({"started": started.isoformat(), "rows": benchmark.rows,
                       "raw": benchmark.raw}, handle, indent=1)
    return 0


sys.exit(main(sys.argv[1:]))
