"""The split of the machines over shards, over the default package's full and quick sets, and the
merge of shards' results, from recorded results split here as the bench splits them (no Wine)."""

import argparse
import copy
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

from tests.bench.test_matrix import DEFAULT
from tests.bench.test_report import DIFFERING, FINE, RECORDED, RESULTS
from tools import ROOT
from tools.bench import ci, matrix, package, report_page, rules, shard

TARGET = package.target(DEFAULT)
SETS = {"full": matrix.select(TARGET), "quick": matrix.select(TARGET, quick_set=True)}
BENCH = [sys.executable, "-m", "tools.bench"]


def parts(selection, count):
    return [[m["name"] for m in shard.part(selection, k, count, TARGET)]
            for k in range(1, count + 1)]


class Split(unittest.TestCase):
    def test_the_shards_are_disjoint_in_order_together_the_whole_and_alike_in_time(self):
        for which, selection in SETS.items():
            whole = [m["name"] for m in selection]
            weight = {m["name"]: rules.least_ms(m, TARGET) + shard.MACHINE_MS
                      for m in selection}
            for count in (1, 2, 3, 4, 7, len(whole), len(whole) + 3):
                dealt, label = parts(selection, count), f"{which} set in {count}"
                self.assertEqual(sorted(n for p in dealt for n in p), sorted(whole), label)
                self.assertEqual(dealt, [[n for n in whole if n in p] for p in dealt], label)
                self.assertEqual([bool(p) for p in dealt], [k < len(whole) for k in range(count)])
                # No shard's expected time exceeds another's by more than one machine's.
                loads = [sum(weight[n] for n in p) for p in dealt]
                self.assertLessEqual(max(loads) - min(loads), max(weight.values()), label)

    def test_every_runner_splits_alike_whatever_its_hash_seed(self):
        code = ("import json; from tests.bench.test_shard import SETS, parts; "
                "print(json.dumps([parts(s, 3) for s in SETS.values()]))")
        for seed in ("0", "1", "4242"):
            run = subprocess.run([sys.executable, "-c", code], cwd=ROOT, capture_output=True,
                                 check=True, env=dict(os.environ, PYTHONHASHSEED=seed))
            self.assertEqual(json.loads(run.stdout), [parts(s, 3) for s in SETS.values()], seed)

    def test_a_shard_is_k_of_n_and_anything_else_is_refused(self):
        self.assertEqual([shard.parse(t) for t in ("1/1", "3/4", "12/12")],
                         [(1, 1), (3, 4), (12, 12)])
        for text in ("0/3", "4/3", "1/0", "x", "1/", "/2", "1/2/3", "-1/2", "1.0/2", ""):
            self.assertRaises(argparse.ArgumentTypeError, shard.parse, text)


def whole(differing):
    """An unsharded run's results over the quick set, from the recorded machines: each as
    expected with a screenshot, or bios-equal differing without one."""
    machines = [dict(copy.deepcopy(DIFFERING), machine=m)
                if differing and m["name"] == "bios-equal" else
                dict(copy.deepcopy(FINE), machine=m, screenshot=f"screenshots/{m['name']}.png")
                for m in SETS["quick"]]
    return dict(copy.deepcopy(RESULTS), env={}, set="quick", only=None,
                shard={"index": 1, "count": 1},
                selection=[m["name"] for m in SETS["quick"]], machines=machines)


def shards(document, count, folder):
    """[(path, document)] of `count` shards of an unsharded result, as --shard K/N writes them."""
    dealt = shard.split([r["machine"] for r in document["machines"]], count, document["target"])
    return [(os.path.join(folder, f"shard-{k}", "results.json"),
             dict(copy.deepcopy(document), shard={"index": k, "count": count},
                  machines=[copy.deepcopy(r) for r in document["machines"]
                            if r["machine"] in mine]))
            for k, mine in enumerate(dealt, 1)]


def merge(given, folder):
    """Leaves the shards' results (or text) with their screenshots where the bench would and
    merges them: the status, stderr and the outputs, which exist unless the status is 2."""
    for path, document in given:
        os.makedirs(os.path.join(os.path.dirname(path), "screenshots"), exist_ok=True)
        for result in document["machines"] if isinstance(document, dict) else []:
            if result["screenshot"]:
                shutil.copyfile(os.path.join(RECORDED, "screenshots", "baseline.png"),
                                os.path.join(os.path.dirname(path), result["screenshot"]))
        with open(path, "w", encoding="utf-8") as handle:
            handle.write(document if isinstance(document, str) else json.dumps(document))
    out = pathlib.Path(folder, "out")
    run = subprocess.run(BENCH + ["merge", "--out", out, "--junit", f"{out}.xml", "--markdown",
                                  f"{out}.md"] + [p for p, _ in given],
                         cwd=ROOT, capture_output=True, text=True)
    return run.returncode, run.stderr, None if run.returncode == 2 else {
        "results": json.loads((out / report_page.RESULTS_NAME).read_text(encoding="utf-8")),
        "page": (out / report_page.PAGE_NAME).read_text(encoding="utf-8"),
        "summary": pathlib.Path(f"{out}.md").read_text(encoding="utf-8"),
        "junit": ElementTree.parse(f"{out}.xml").getroot()[0],
        "shots": sorted(os.listdir(out / "screenshots"))}


def on(k, change):
    """A change of the k-th shard's document (from 0) that keeps every shard."""
    return lambda given: [change(given[k][1]), given][1]


class Merge(unittest.TestCase):
    def test_shards_merge_into_what_one_run_gives(self):
        for differing, status in [(True, 1), (False, 0)]:
            unsharded = whole(differing)
            suite = ci.junit(unsharded, RECORDED).getroot()[0]
            shots = sorted(os.path.basename(r["screenshot"]) for r in unsharded["machines"]
                           if r["screenshot"])
            # One shard, two, three, and more shards than machines: empty ones merge too.
            for count in (1, 2, 3, len(unsharded["machines"]) + 1):
                with tempfile.TemporaryDirectory() as folder:
                    got, errors, merged = merge(shards(unsharded, count, folder), folder)
                label = f"{count} shards, differing: {differing}"
                self.assertEqual((got, errors), (status, ""), label)
                self.assertEqual(merged["results"]["machines"], unsharded["machines"], label)
                self.assertEqual([merged["junit"].get(k) for k in ("tests", "failures")],
                                 [suite.get(k) for k in ("tests", "failures")], label)
                self.assertEqual(merged["shots"], shots, label)
                self.assertEqual(merged["page"].count('<img class="shot" src="data:image/png'),
                                 len(shots), label)

    def test_a_missing_shard_or_machine_fails_and_foreign_or_overlapping_parts_are_refused(self):
        first, second, _ = parts(SETS["quick"], 3)
        beyond = len(SETS["quick"]) + 1
        # (the case, shards, what happens to their [(path, document)], status, what it says.)
        for case, count, change, status, says in [
                ("a missing shard", 3, lambda s: s[::2], 1,
                 f"no result from shard 2 of 3; no result for {len(second)} machine(s) of the "
                 f"selection: {', '.join(second)}"),
                ("a missing empty shard", beyond, lambda s: s[:-1], 1,
                 f"no result from shard {beyond} of {beyond}"),
                ("a shard lacking a machine", 3, on(0, lambda d: d["machines"].pop()), 1,
                 f"no result for 1 machine(s) of the selection: {first[-1]}"),
                ("a machine in two shards", 3,
                 lambda s: on(1, lambda d: d["machines"].append(s[0][1]["machines"][0]))(s), 2,
                 f"the machine {first[0]} is in both"),
                ("a shard twice", 3, lambda s: s + s[:1], 2, "shard 1 of 3 is given twice"),
                ("another package", 3,
                 on(2, lambda d: d["package"]["executable"].update(sha256="0")), 2,
                 "is of another package than"),
                ("another environment", 3, on(2, lambda d: d["env"].update(A="1")), 2, "its env"),
                ("another count", 3, on(2, lambda d: d["shard"].update(count=4)), 2,
                 "is one of 4 shards"),
                ("results of old", 3, on(0, lambda d: d.pop("selection")), 2, "lacking selection"),
                ("a merged result", 3, on(0, lambda d: d.update(shard=None)), 2, "a merged result"),
                ("no JSON", 3, lambda s: [(s[0][0], "{")] + s[1:], 2, "cannot read"),
                ("no object", 3, lambda s: [(s[0][0], "[]")] + s[1:], 2, "not a JSON object"),
                ("a shard beyond the count", 3, on(0, lambda d: d["shard"].update(index=4)), 2,
                 "its shard as no bench"),
                ("a start that is no time", 3, on(1, lambda d: d.update(started="today")), 2,
                 "its started as no bench"),
                ("a screenshot outside its folder", 3,
                 on(0, lambda d: d["machines"][0].update(screenshot="../x.png")), 2,
                 "its machines as no bench"),
                ("an input in the output", 3,
                 lambda s: s + [(os.path.normpath(f"{s[0][0]}/../../out/r.json"), s[0][1])], 2,
                 "holds an input")]:
            with tempfile.TemporaryDirectory() as folder:
                got, errors, merged = merge(change(shards(whole(False), count, folder)), folder)
            self.assertEqual(got, status, case)
            if status == 2:
                self.assertIn(says, errors, case)
                continue
            self.assertIn(f"Incomplete: {says}.", merged["page"], case)
            self.assertIn(f"Missing: {says}", merged["summary"], case)
            cases = merged["junit"].findall("testcase")
            self.assertEqual([c.find("failure").get("message") for c in cases
                              if c.get("name") == "missing"], [says], case)
            self.assertEqual([merged["junit"].get(k) for k in ("tests", "failures")],
                             [str(len(cases)), "1"], case)


if __name__ == "__main__":
    unittest.main()
