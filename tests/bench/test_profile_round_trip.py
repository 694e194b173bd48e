"""End to end under Wine: the shipped profiler.exe run on simulated notebooks writes profiles that
read back as the very machines simulated, and the bench, given those profiles, reproduces each
machine's outcome with the default package. A profile it cannot reproduce stops the bench."""

import concurrent.futures
import json
import os
import subprocess
import sys
import tempfile
import unittest

from tools import ROOT
from tools.bench import profile, rules
from tools.e2e import runner

from .test_profile import changed

PRODUCT_DIR = os.environ["BIOSUPDATE_PRODUCT_DIR"]
PROFILER = os.path.join(PRODUCT_DIR, "tools", "profiler", "profiler.exe")
PACKAGE = os.path.join(PRODUCT_DIR, "BIOSUpdate.package.json")
# Where the runner starts the program, and so the profiler's current folder.
STAGE = "C:\\e2e"
# Each simulated notebook: the runner's options (beyond its defaults) and the package's outcome.
NOTEBOOKS = {
    "english": ({"windows": "10", "screen": (1920, 1080)}, "flash"),
    "korean": ({"locale": "ko", "windows": "7", "screen": (800, 600),
                "program_files": "C:\\프로그램 파일"}, "flash"),
    "on-battery": ({"ac": "off", "battery": 60, "windows": "xp"}, "no mains"),
    # Lower case, a tab, quotation marks and a backslash; blanks around: the prefix is " MIRT".
    "odd-bios": ({"bios_version": ' mirts\tF13 "beta\\1" ', "windows": "10"}, "cannot update"),
}
MACHINE_FIELDS = ("bios_version", "ac", "battery", "locale", "windows", "screen",
                  "program_files")


# An earlier notebook's profile in the current folder, which the English one must keep.
EARLIER = (STAGE + "\\notebook.json", "an earlier notebook's profile")


def capture(name, options):
    """The profile that profiler.exe wrote on the notebook, and its message box's text. The
    English one writes where it writes by default, beside an earlier profile; the others where
    the command line says."""
    english = name == "english"
    path = STAGE + "\\notebook-2.json" if english else f"C:\\profiles\\{name}.json"
    report = runner.run(runner.RunOptions(
        PROFILER, args=None if english else path, dirs=["C:\\profiles"],
        files=dict([EARLIER]), collect=[path, EARLIER[0]], timeout=60, **options))
    assert report["ended"]["how"] == "exited" and report["ended"]["exit_code"] == 0, \
        (report["ended"], report["message_boxes"])
    assert report["collected"][EARLIER[0]] == EARLIER[1], report["collected"]
    (box,) = report["message_boxes"]
    return report["collected"][path], box["text"], path


class RoundTrip(unittest.TestCase):
    def test_profiles_read_back_as_the_notebooks_and_bench_as_them(self):
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            captured = dict(zip(NOTEBOOKS, pool.map(capture, NOTEBOOKS, [
                options for options, _ in NOTEBOOKS.values()])))
        with tempfile.TemporaryDirectory() as folder:
            files = []
            for name, (text, box, path) in captured.items():
                self.assertIn(f"was written to\n{path}\n", box)
                files.append(os.path.join(folder, f"{name}.json"))
                with open(files[-1], "w", encoding="utf-8") as handle:
                    handle.write(text)
            machines = {m["name"]: m for m in profile.machines(files)}
            for name, (options, _) in NOTEBOOKS.items():
                simulated = runner.RunOptions(PROFILER, **options)
                expected = {k: getattr(simulated, k) for k in MACHINE_FIELDS}
                # The program holds the version upper-cased; lists as JSON has them.
                expected.update(bios_version=rules.upper(simulated.bios_version),
                                screen=list(simulated.screen))
                got = machines[f"profile-{name}"]
                self.assertEqual({k: got[k] for k in MACHINE_FIELDS}, expected, name)

            out = os.path.join(folder, "out")
            result = subprocess.run(
                [sys.executable, "-m", "tools.bench", PACKAGE, "--profile", *files,
                 "--only", "profile-*", "--jobs", "4", "--out", out,
                 "--driver", os.environ["BIOSUPDATE_UIDRIVER"],
                 "--cache", os.environ["BIOSUPDATE_E2E_CACHE"]],
                cwd=ROOT, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=600)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            with open(os.path.join(out, "results.json")) as handle:
                results = json.load(handle)["machines"]
        self.assertEqual({r["machine"]["name"]: (r["expected"]["outcome"], r["differences"])
                          for r in results},
                         {f"profile-{name}": (outcome, [])
                          for name, (_, outcome) in NOTEBOOKS.items()})

    def test_a_profile_the_runner_cannot_reproduce_stops_the_bench(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "vista.json")
            with open(path, "w") as handle:
                json.dump(changed(windows__minor=0, windows__build=6002), handle)
            result = subprocess.run(
                [sys.executable, "-m", "tools.bench", PACKAGE, "--profile", path, "--list"],
                cwd=ROOT, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 2, result.stdout)
        self.assertEqual(result.stderr, f"bench: {path}: Windows 6.0 (build 6002, platform 2) "
                                        "cannot be reproduced: the runner shows xp (5.1), 7 (6.1), "
                                        "10 (6.2)\n")


if __name__ == "__main__":
    unittest.main()
