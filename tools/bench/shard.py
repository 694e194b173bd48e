"""Splitting the machines over several runners (--shard K/N), and merging the runners' results
back into one document: the CI system runs the shards in parallel, the bench only has to split
the same way on every runner and to tell a whole set from a partial one."""

import argparse
import datetime
import json
import os
import pathlib
import shutil
import sys

from . import ci, rules

# What a machine costs beyond the program's own pauses (Wine's start and exit, the driver, the
# report): one at a time a machine of the full set took 13.3 s for 11.0 s of least time on average
# (the benchmark's machine cost). Without it every machine that makes no pause would weigh nothing,
# and all of them would land together.
MACHINE_MS = 2300

# What every shard's results must share for them to be parts of one run: the package's
# description (without where it lay on the runner), the BIOS it was meant for, the program's
# environment, the selection.
SHARED = ("target", "env", "set", "only", "selection")
PLACE = ("path", "exe")
REQUIRED = ("format", "package", "target", "env", "lint", "set", "only", "jobs", "started",
            "seconds", "shard", "selection", "machines")


class MergeError(ValueError):
    """Results that cannot be parts of one run: unreadable, of another package or set, or
    overlapping."""


def parse(text):
    """(K, N) of "K/N", 1 <= K <= N; an argparse type."""
    index, sep, count = text.partition("/")
    if not (sep and index.isdecimal() and count.isdecimal() and 1 <= int(index) <= int(count)):
        raise argparse.ArgumentTypeError(f"expected K/N with 1 <= K <= N, not {text!r}")
    return int(index), int(count)


def split(machines, count, target):
    """The machines dealt over `count` shards, each shard in the machines' own order.

    Longest first, each to the shard with the least expected time so far (the lowest numbered of
    equal ones): the pauses the rules expect and the stand-in's flash, plus a fixed start, so the
    shards end at about the same time. Only the machines and the target decide, never the run or
    the host, so every runner computes the same split."""
    weights = [rules.least_ms(m, target) + MACHINE_MS for m in machines]
    loads, dealt = [0] * count, [[] for _ in range(count)]
    for position in sorted(range(len(machines)), key=lambda i: (-weights[i], i)):
        shard = min(range(count), key=lambda s: (loads[s], s))
        loads[shard] += weights[position]
        dealt[shard].append(position)
    return [[machines[i] for i in sorted(positions)] for positions in dealt]


def part(machines, index, count, target):
    """The machines of shard `index` (1-based) of `count`; empty when there are more shards than
    machines."""
    return split(machines, count, target)[index - 1]


def _package(document):
    return {k: v for k, v in document["package"].items() if k not in PLACE}


def _is_shot(path):
    """A screenshot's path as the bench writes it: inside the results' screenshots folder."""
    parts = pathlib.PurePosixPath(path).parts
    return len(parts) == 2 and parts[0] == "screenshots" and parts[1] not in ("..", ".")


def _check_fields(name, document):
    """Raises MergeError unless the document holds, of their kinds, the fields a merge reads."""
    if not isinstance(document, dict):
        raise MergeError(f"{name} is not a bench's results (not a JSON object)")
    lacking = [key for key in REQUIRED if key not in document]
    if document.get("format") != 1 or lacking:
        raise MergeError(f"{name} is not a bench's results (format "
                         f"{document.get('format')!r}, lacking {', '.join(lacking) or '-'})")
    if document["shard"] is None:
        raise MergeError(f"{name} is a merged result: merge the shards themselves")
    shard, machines = document["shard"], document["machines"]
    try:
        started = datetime.datetime.fromisoformat(document["started"])
    except (TypeError, ValueError):
        started = None
    wrong = [what for what, fine in [
        ("shard", isinstance(shard, dict) and all(type(shard.get(k)) is int for k in
                                                  ("index", "count"))
         and 1 <= shard["index"] <= shard["count"]),
        ("package", isinstance(document["package"], dict)
         and isinstance(document["package"].get("executable"), dict)),
        ("started", started is not None and started.tzinfo is not None),
        ("seconds", type(document["seconds"]) in (int, float)),
        ("jobs", type(document["jobs"]) is int),
        ("lint", isinstance(document["lint"], list)),
        ("selection", isinstance(document["selection"], list)
         and all(isinstance(n, str) for n in document["selection"])),
        ("machines", isinstance(machines, list) and all(
            isinstance(r, dict) and isinstance(r.get("machine"), dict)
            and isinstance(r["machine"].get("name"), str)
            and (r.get("screenshot") is None or isinstance(r["screenshot"], str)
                 and _is_shot(r["screenshot"])) for r in machines))] if not fine]
    if wrong:
        raise MergeError(f"{name} is not a bench's results (its {', '.join(wrong)} as no bench "
                         "writes them)")


def _check(documents):
    """Raises MergeError unless the documents are shards of one run, none given twice."""
    for name, document in documents:
        _check_fields(name, document)
    first_name, first = documents[0]
    count = first["shard"]["count"]
    for name, document in documents:
        if _package(document) != _package(first):
            raise MergeError(f"{name} is of another package than {first_name} (executable "
                             f"SHA-256 {document['package']['executable'].get('sha256')} against "
                             f"{first['package']['executable'].get('sha256')})")
        for key in SHARED:
            if document[key] != first[key]:
                raise MergeError(f"{name} differs from {first_name} in its {key}")
        if document["shard"]["count"] != count:
            raise MergeError(f"{name} is one of {document['shard']['count']} shards, "
                             f"{first_name} one of {count}")
    seen, owner = set(), {}
    for name, document in documents:
        index = document["shard"]["index"]
        if index in seen:
            raise MergeError(f"shard {index} of {count} is given twice ({name})")
        seen.add(index)
        for result in document["machines"]:
            machine = result["machine"]["name"]
            if machine in owner:
                raise MergeError(f"the machine {machine} is in both {owner[machine]} and {name}")
            owner[machine] = name


def merge(documents):
    """One results document of the shards' [(name, document)]: their machines in the
    selection's order, their lint findings once each, the shards and machines that are missing.
    Raises MergeError when they are not shards of one run."""
    _check(documents)
    first = documents[0][1]
    results = {r["machine"]["name"]: r for _, d in documents for r in d["machines"]}
    selection = first["selection"]
    lint = []
    for _, document in documents:
        lint += [f for f in document["lint"] if f not in lint]
    starts = [datetime.datetime.fromisoformat(d["started"]) for _, d in documents]
    # The runners ran side by side: from the first one's start to the last one's end.
    end = max(s + datetime.timedelta(seconds=d["seconds"]) for s, (_, d) in zip(starts, documents))
    merged = {k: v for k, v in first.items() if k not in ("shard", "machines")}
    count = first["shard"]["count"]
    present = sorted(d["shard"]["index"] for _, d in documents)
    merged.update(
        lint=lint, jobs=sum(d["jobs"] for _, d in documents),
        started=min(starts).isoformat(timespec="seconds"),
        seconds=round((end - min(starts)).total_seconds(), 1), shard=None,
        shards={"count": count, "merged": present},
        missing_shards=[k for k in range(1, count + 1) if k not in present],
        missing_machines=[n for n in selection if n not in results],
        machines=[results[n] for n in selection if n in results])
    return merged


def _arguments(argv):
    p = argparse.ArgumentParser(
        prog="python3 -m tools.bench merge",
        description="Merges the results.json of a bench's shards (--shard K/N) into one "
                    "results.json and report.html, with the screenshots, and on request JUnit XML "
                    "and a Markdown summary. Exit status: 0 when every machine of the selection "
                    "behaved as expected and the lint found no error; 1 when a machine differed, "
                    "the lint found an error, or a shard or machine is missing; 2 when an input "
                    "cannot be read or the inputs are not shards of one run.")
    p.add_argument("results", nargs="+", metavar="RESULTS.json", help="a shard's results.json")
    p.add_argument("--out", required=True, help="output folder")
    p.add_argument("--junit", metavar="FILE", help="also write the results as JUnit XML")
    p.add_argument("--markdown", metavar="FILE", help="also write a short Markdown summary")
    return p.parse_args(argv)


def _read(path):
    try:
        with open(path, encoding="utf-8") as handle:
            return json.load(handle)
    except (OSError, ValueError) as error:
        raise MergeError(f"cannot read {path}: {error}") from error


def _bring_screenshots(documents, out):
    """Copies each machine's screenshot from beside its shard's results into `out`, under the
    same relative path (the page shows none for one that did not come along)."""
    for path, document in documents:
        for result in document["machines"]:
            source = os.path.join(os.path.dirname(path), result["screenshot"] or "")
            if result["screenshot"] and os.path.isfile(source):
                target = os.path.join(out, result["screenshot"])
                os.makedirs(os.path.dirname(target), exist_ok=True)
                shutil.copyfile(source, target)


def main(argv):
    """python3 -m tools.bench merge: the exit status."""
    args = _arguments(argv)
    out = os.path.abspath(args.out)
    try:
        documents = [(os.path.abspath(path), _read(path)) for path in args.results]
        if any(os.path.dirname(path) == out for path, _ in documents):
            raise MergeError(f"the output folder {out} holds an input: merge into another")
        merged = merge(documents)
    except MergeError as error:
        print(f"bench merge: {error}", file=sys.stderr)
        return 2
    os.makedirs(out, exist_ok=True)
    # An earlier merge's screenshots must not stand in for ones that did not come along.
    shutil.rmtree(os.path.join(out, "screenshots"), ignore_errors=True)
    _bring_screenshots(documents, out)
    return ci.publish(merged, out, args.junit, args.markdown)
