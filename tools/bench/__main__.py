"""Lints a built BIOSUpdate package (python3 -m tools.package.lint), runs it on a matrix of
simulated notebooks under Wine and holds what each one showed and did against what the package
must do there. Writes results.json and report.html into the output folder, on request JUnit XML
and a Markdown summary for a CI system, and prints a summary. Must run as root (the runner mounts
a fake /sys/class in private namespaces). With --shard K/N it runs the K-th of N parts of the
machines; "python3 -m tools.bench merge --help" tells how to merge the parts' results.

Exit status: 0 when every machine behaved as expected and the lint found no error, 1 when any
machine differed or the lint found an error, 2 on bad usage or a failed set-up, 130 when
interrupted."""

import argparse
import datetime
import os
import shutil
import signal
import sys
import time

from .. import DRIVER, PRODUCT_DIR, ROOT, RUN_CACHE, name_value
from ..e2e.runner import E2EError
from ..package import lint
from . import ci, matrix, package, profile, running, shard

DEFAULT_PACKAGE = PRODUCT_DIR / package.DESCRIPTION_NAME
DEFAULT_OUT = ROOT / "build" / "bench" / "latest"


def default_jobs():
    # Six runs per core: a run mostly waits in the program's pauses and costs about 1.5 CPU s
    # besides; of the numbers measured (the README's benchmark table, python3 -m tools.perf), six
    # per core ran fastest with every machine as expected.
    return max(1, 6 * len(os.sched_getaffinity(0)))


def parse_arguments(argv):
    p = argparse.ArgumentParser(prog="python3 -m tools.bench", description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("package", nargs="?", default=str(DEFAULT_PACKAGE),
                   help="the package description, or BIOSUpdate.exe with its description beside "
                        "it (default: %(default)s)")
    p.add_argument("--platform", help="the platform prefix the package is meant for "
                                      "(default: the image's own)")
    p.add_argument("--running-version", metavar="HEX",
                   help="the running BIOS version number the package is meant to replace "
                        "(default: one below the image's)")
    p.add_argument("--env", action="append", type=name_value, default=[], metavar="NAME=VALUE",
                   help="a variable of the program's environment on every machine, e.g. the "
                        "stand-in utility's BIOSUPDATE_STUB_DELAY_MS (repeatable)")
    p.add_argument("--quick", action="store_true",
                   help="only one machine per outcome instead of the whole matrix")
    p.add_argument("--only", metavar="NAME",
                   help="only the machines whose name matches this glob, or one of several "
                        "separated by commas")
    p.add_argument("--profile", nargs="+", action="extend", default=[], metavar="FILE",
                   help="also a machine for each notebook profile that profiler.exe wrote, named "
                        "profile-<file name>; --quick keeps them, --only narrows them too")
    p.add_argument("--shard", type=shard.parse, default=(1, 1), metavar="K/N",
                   help="only the K-th of N parts of the selected machines, for N runners side by "
                        "side (an empty part when N exceeds the machines); merge their results "
                        "with the merge command")
    p.add_argument("--jobs", type=int, default=default_jobs(),
                   help="machines run at once (default: %(default)s)")
    p.add_argument("--out", default=DEFAULT_OUT, help="output folder (default: %(default)s)")
    p.add_argument("--driver", default=DRIVER, help="uidriver.exe (default: %(default)s)")
    p.add_argument("--cache", default=RUN_CACHE,
                   help="the runner's template prefix and runs (default: %(default)s)")
    p.add_argument("--junit", metavar="FILE", help="also write the results as JUnit XML")
    p.add_argument("--markdown", metavar="FILE", help="also write a short Markdown summary")
    p.add_argument("--list", action="store_true", help="list the machines and exit")
    args = p.parse_args(argv)
    if args.jobs < 1:
        p.error("--jobs takes a number of at least 1")
    return args


def _terminate(signum, frame):
    raise running.Terminated()


def main(argv):
    if argv[:1] == ["merge"]:
        return shard.main(argv[1:])
    args = parse_arguments(argv)
    try:
        description = package.load(args.package)
        carried = lint.Executable(description["exe"])
        target = package.target(description, args.platform, args.running_version,
                                lint.carries_stand_in_utility(description, carried))
        findings = lint.lint(description) + [{"severity": lint.ERROR, "text": sentence}
                                             for sentence in package.unfit(target)]
        profiles = profile.machines(args.profile, [m["name"] for m in matrix.full(target)])
    except (package.PackageError, lint.LintError, profile.ProfileError) as error:
        print(f"bench: {error}", file=sys.stderr)
        return 2
    selection = matrix.select(target, args.quick, args.only, profiles)
    machines = shard.part(selection, *args.shard, target)
    if args.list or not selection:
        for m in machines if selection else matrix.select(target, args.quick, extra=profiles):
            print(f"{m['name']:22} {m['title']}")
        if not selection:
            print(f"bench: no machine is named like {args.only!r}", file=sys.stderr)
        return 0 if selection else 2
    out = os.path.abspath(args.out)
    shutil.rmtree(os.path.join(out, "screenshots"), ignore_errors=True)
    os.makedirs(out, exist_ok=True)
    if not os.path.isfile(args.driver):
        print(f"bench: uidriver.exe is missing: {args.driver} (build it in a tests tree)",
              file=sys.stderr)
        return 2
    for f in findings:
        print(f"bench: lint {f['severity']}: {f['text']}", file=sys.stderr)
    signal.signal(signal.SIGTERM, _terminate)
    started, started_at = time.monotonic(), datetime.datetime.now().astimezone()
    bench = running.Bench(description["exe"], target, out, os.path.abspath(args.driver),
                          os.path.abspath(args.cache), args.jobs, dict(args.env),
                          carried.bitmaps)
    try:
        if machines:
            print(f"bench: {len(machines)} machine(s), {min(args.jobs, len(machines))} at a "
                  "time; preparing Wine", file=sys.stderr, flush=True)
            running.prepare_template(bench.cache)
        else:
            print(f"bench: shard {args.shard[0]} of {args.shard[1]} holds none of the "
                  f"{len(selection)} machines: an empty result", file=sys.stderr, flush=True)
        results = bench.run(machines)
    except (running.Interrupted, running.Terminated, KeyboardInterrupt) as error:
        running.stop_runs(error)
        print("bench: interrupted, no report written", file=sys.stderr)
        return 130
    except E2EError as error:
        print(f"bench: {error}", file=sys.stderr)
        return 2
    document = {
        "format": 1, "package": description, "target": target, "env": dict(args.env),
        "lint": findings,
        "set": "quick" if args.quick else "full", "only": args.only,
        "profiles": [os.path.abspath(p) for p in args.profile], "jobs": args.jobs,
        "started": started_at.isoformat(timespec="seconds"),
        "seconds": round(time.monotonic() - started, 1),
        "shard": {"index": args.shard[0], "count": args.shard[1]},
        "selection": [m["name"] for m in selection], "machines": results}
    return ci.publish(document, out, args.junit, args.markdown)


sys.exit(main(sys.argv[1:]))
