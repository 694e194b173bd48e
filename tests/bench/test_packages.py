"""End to end under Wine: packages on the bench. The quick set on the default package finds every
machine behaving as expected, and its JUnit results read back as a CI system reads them; a vendor's
package, built with another image name and stamp and signed with a certificate about to expire,
does too on its own platform, with the lint's warning; and the same package benched for the
platform it was meant to serve is reported as differing, with a non-zero exit."""

import json
import os
import subprocess
import sys
import tempfile
import unittest

from junitparser import JUnitXml

from tools import ROOT

DEFAULT_PACKAGE = os.path.join(os.environ["BIOSUPDATE_PRODUCT_DIR"], "BIOSUpdate.package.json")
# Built by the fixture in CMakeLists.txt with an image of another platform and another stamp.
VENDOR_PACKAGE = os.path.join(os.environ["BIOSUPDATE_VENDOR_PRODUCT_DIR"],
                              "BIOSUpdate.package.json")
VENDOR_STAMP = "2.0.0001"


def bench(description, *options, read_junit=False):
    """The bench's exit status, summary and results (and, on request, the JUnit suite with the
    screenshots it attaches that exist)."""
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
        assert os.path.isfile(os.path.join(out, "report.html")), "no report"
        if read_junit:
            (suite,) = JUnitXml.fromfile(junit)
            attached = [line for case in suite for line in case.system_out.splitlines()
                        if line.startswith("[[ATTACHMENT|") and os.path.isfile(line[13:-2])]
            return result.returncode, result.stdout, results, suite, attached
    return result.returncode, result.stdout, results


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

    def test_a_signed_vendor_package_flashes_its_own_platform_and_stamps_its_own_version(self):
        with open(VENDOR_PACKAGE) as handle:
            self.assertEqual(json.load(handle)["executable"]["signer"], "CN=BIOSUpdate Test Vendor")
        status, summary, results = bench(VENDOR_PACKAGE, "--only", "baseline")
        self.assertEqual(status, 0, summary)
        # Its throwaway certificate lasts a day: a warning, which fails nothing.
        (finding,) = results["lint"]
        self.assertEqual(finding["severity"], "warning")
        self.assertIn("the certificate CN=BIOSUpdate Test Vendor expires on", finding["text"])
        self.assertIn("lint warning: the certificate", summary)
        machines = results["machines"]
        (machine,) = machines
        (utility,) = machine["observed"]["utility"]
        self.assertTrue(utility["command_line"].endswith(" ABCDE2A0.ROM"), utility)
        self.assertEqual(machine["observed"]["stamp"], VENDOR_STAMP)

    def test_a_package_built_with_another_platforms_image_differs(self):
        status, summary, results = bench(VENDOR_PACKAGE, "--platform", "MIRTS",
                                         "--running-version", "F12", "--only", "baseline")
        machines = results["machines"]
        self.assertEqual(status, 1, summary)
        self.assertTrue(summary.endswith("verdict: differs\n"), summary)
        (machine,) = machines
        self.assertEqual(machine["expected"]["outcome"], "flash")
        self.assertEqual([s["id"] for s in machine["observed"]["status"]][-1], 133)
        self.assertEqual(machine["observed"]["utility"], [])
        self.assertTrue(machine["differences"])


if __name__ == "__main__":
    unittest.main()
