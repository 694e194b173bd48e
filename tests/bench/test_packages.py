"""End to end under Wine: packages on the bench. The quick set on the default package finds every
machine behaving as expected, and its JUnit results read back as a CI system reads them; so do the
rows of every form of the clean-up mode's argument. A vendor's package, built with another image
name and stamp and signed with a certificate about to expire, does too on its own platform, with
the lint's warning; benched for another platform it is named as one that would not flash there,
with a non-zero exit. A release that skips versions, with a utility that runs for 90 s, benches
clean; a release meant for its own version is named, with a non-zero exit."""

import json
import os
import subprocess
import sys
import tempfile
import unittest

from junitparser import JUnitXml

from tools import ROOT

DEFAULT_PACKAGE = os.path.join(os.environ["BIOSUPDATE_PRODUCT_DIR"], "BIOSUpdate.package.json")
# Built by the fixtures in CMakeLists.txt: an image of another platform, signed, and the releases
# F15 and F12 of ours, each with a stamp of its own.
VENDOR_PACKAGE, F15_PACKAGE, F12_PACKAGE = (
    os.path.join(os.environ["BIOSUPDATE_VENDOR_PACKAGES"], f"vendor-{name}",
                 "BIOSUpdate.package.json") for name in ("product", "f15", "f12"))
VENDOR_STAMP = "2.0.0001"
# The stand-in utility's run on the slow release's flash.
SLOW_UTILITY_MS = 90000


def bench(description, *options, read_junit=False):
    """The bench's exit status, summary, results and report page (and, on request, the JUnit
    suite with the screenshots it attaches that exist)."""
    with tempfile.TemporaryDirectory() as folder:
        out, junit = os.path.join(folder, "out"), os.path.join(folder, "junit.xml")
        result = subprocess.run(
            [sys.executable, "-m", "tools.bench", description, "--out", out,
             "--driver", os.environ["BIOSUPDATE_UIDRIVER"],
             "--cache", os.environ["BIOSUPDATE_E2E_CACHE"], *options,
             *(["--junit", junit] if read_junit else [])],
            cwd=ROOT, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=1200)
        with open(os.path.join(out, "results.json")) as handle:
            results = json.load(handle)
        with open(os.path.join(out, "report.html"), encoding="utf-8") as handle:
            page = handle.read()
        if read_junit:
            (suite,) = JUnitXml.fromfile(junit)
            attached = [line for case in suite for line in case.system_out.splitlines()
                        if line.startswith("[[ATTACHMENT|") and os.path.isfile(line[13:-2])]
            return result.returncode, result.stdout, results, suite, attached
    return result.returncode, result.stdout, results, page


def outcomes(machines):
    """{machine: (its running BIOS, the expected outcome)}; each one behaved as expected."""
    for machine in machines:
        assert machine["differences"] == [], machine["differences"]
    return {m["machine"]["name"]: (m["machine"]["bios_version"], m["expected"]["outcome"])
            for m in machines}


class Packages(unittest.TestCase):
    def test_the_default_package_behaves_as_expected_on_the_quick_set(self):
        status, summary, results, suite, attached = bench(DEFAULT_PACKAGE, "--quick",
                                                          read_junit=True)
        machines = results["machines"]
        self.assertEqual(status, 0, summary)
        self.assertEqual(results["lint"], [])
        self.assertTrue(summary.endswith("verdict: as expected\n"), summary)
        self.assertGreaterEqual(len(machines), 9)
        for machine in machines:
            name = machine["machine"]["name"]
            self.assertEqual(machine["differences"], [], name)
            # Everything but the clean-up mode shows something worth a screenshot.
            self.assertEqual(machine["screenshot"] is None, name == "clean-up-mode", name)
        self.assertEqual([case.name for case in suite],
                         ["lint"] + [m["machine"]["name"] for m in machines])
        self.assertTrue(all(case.is_passed for case in suite))
        self.assertEqual(len(attached), len(machines) - 1)

    def test_every_form_of_the_clean_up_mode_s_argument_cleans_up(self):
        status, summary, results, _ = bench(DEFAULT_PACKAGE, "--only", "clean-up-*")
        self.assertEqual(status, 0, summary)
        outcomes(results["machines"])
        # Each form is taken for the clean-up mode: no box, the earlier run's files gone.
        self.assertEqual({m["machine"]["args"]: m["expected"]["outcome"]
                          for m in results["machines"]},
                         dict.fromkeys([" 1", "+1", "01", "1", "1 x"], "clean-up"))

    def test_a_signed_vendor_package_flashes_its_own_platform_and_stamps_its_own_version(self):
        with open(VENDOR_PACKAGE) as handle:
            self.assertEqual(json.load(handle)["executable"]["signer"], "CN=BIOSUpdate Test Vendor")
        status, summary, results, _ = bench(VENDOR_PACKAGE, "--only", "baseline")
        self.assertEqual(status, 0, summary)
        # Its throwaway certificate lasts a day: a warning, which fails nothing.
        (finding,) = results["lint"]
        self.assertEqual(finding["severity"], "warning")
        self.assertIn("the certificate CN=BIOSUpdate Test Vendor expires on", finding["text"])
        self.assertIn("lint warning: the certificate", summary)
        (machine,) = results["machines"]
        (utility,) = machine["observed"]["utility"]
        self.assertTrue(utility["command_line"].endswith(" ABCDE2A0.ROM"), utility)
        self.assertEqual(machine["observed"]["stamp"], VENDOR_STAMP)

    def test_a_package_of_another_platform_is_named_as_one_that_would_not_flash(self):
        status, summary, results, _ = bench(VENDOR_PACKAGE, "--platform", "MIRTS",
                                            "--running-version", "F12", "--only", "baseline")
        self.assertEqual(status, 1, summary)
        self.assertTrue(summary.endswith("verdict: differs\n"), summary)
        sentence = ("the package is meant to replace the BIOS MIRTSF12, but its image "
                    "abcde2a0.rom is of the platform ABCDE: the program will not flash it there")
        self.assertIn(f"lint error: {sentence}", summary)
        # The program itself behaved as its rules say.
        self.assertEqual(outcomes(results["machines"]), {"baseline": ("MIRTSF12", "cannot update")})

    def test_a_release_that_skips_versions_with_a_slow_utility_benches_clean(self):
        status, summary, results, page = bench(
            F15_PACKAGE, "--running-version", "F12", "--only", "baseline,bios-equal,bios-newer",
            "--env", f"BIOSUPDATE_STUB_DELAY_MS={SLOW_UTILITY_MS}")
        self.assertEqual(status, 0, summary)
        self.assertTrue(summary.endswith("verdict: as expected\n"), summary)
        self.assertEqual(results["lint"], [])
        self.assertEqual(outcomes(results["machines"]), {
            "baseline": ("MIRTSF12", "flash"), "bios-equal": ("MIRTSF15", "same version"),
            "bios-newer": ("MIRTSF16", "running BIOS newer")})
        (utility,) = results["machines"][0]["observed"]["utility"]
        self.assertTrue(utility["command_line"].endswith(" MIRTSF15.IMC"), utility)
        self.assertGreaterEqual(utility["ran_ms"], SLOW_UTILITY_MS)
        self.assertLess(utility["ran_ms"], SLOW_UTILITY_MS + 5000)
        self.assertIn(f"the flash utility ran {utility['ran_ms'] / 1000:.1f} s", page)

    def test_a_release_meant_for_its_own_version_is_named_as_one_that_would_not_flash(self):
        status, summary, results, page = bench(F12_PACKAGE, "--running-version", "F12",
                                               "--only", "baseline")
        self.assertEqual(status, 1, summary)
        self.assertTrue(summary.endswith("verdict: differs\n"), summary)
        sentence = ("the package is meant to replace the BIOS MIRTSF12, but its image "
                    "mirtsf12.imc is the same version: the program will not flash it there")
        self.assertIn(f"lint error: {sentence}", summary)
        self.assertIn(sentence, page)
        self.assertEqual(outcomes(results["machines"]), {"baseline": ("MIRTSF12", "same version")})


if __name__ == "__main__":
    unittest.main()
