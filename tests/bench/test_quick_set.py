"""End to end under Wine: the bench's quick set on the default package finds every machine
behaving as expected, and says so in its exit status, its summary and its results."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
BENCH = os.path.join(HERE, "..", "..", "tools", "bench", "bench.py")


def default_package(folder):
    """The product's description; until the build writes one, the hand-written default (which
    names no executable's hash) beside a link to the product."""
    built = os.path.join(os.environ["BIOSUPDATE_PRODUCT_DIR"], "BIOSUpdate.package.json")
    if os.path.isfile(built):
        return built
    os.symlink(os.path.join(os.environ["BIOSUPDATE_PRODUCT_DIR"], "BIOSUpdate.exe"),
               os.path.join(folder, "BIOSUpdate.exe"))
    return shutil.copy(os.path.join(HERE, "default.package.json"),
                       os.path.join(folder, "BIOSUpdate.package.json"))


class QuickSet(unittest.TestCase):
    def test_the_default_package_behaves_as_expected(self):
        with tempfile.TemporaryDirectory() as folder:
            out = os.path.join(folder, "out")
            result = subprocess.run(
                [sys.executable, BENCH, default_package(folder), "--quick", "--out", out,
                 "--driver", os.environ["BIOSUPDATE_UIDRIVER"],
                 "--cache", os.environ["BIOSUPDATE_E2E_CACHE"]],
                stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=1200)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            with open(os.path.join(out, "results.json")) as handle:
                machines = json.load(handle)["machines"]
            self.assertTrue(os.path.isfile(os.path.join(out, "report.html")))
        self.assertTrue(result.stdout.endswith("verdict: as expected\n"), result.stdout)
        self.assertGreaterEqual(len(machines), 9)
        for machine in machines:
            name = machine["machine"]["name"]
            self.assertEqual(machine["differences"], [], name)
            # Everything but the clean-up mode shows something worth a screenshot.
            self.assertEqual(machine["screenshot"] is None, name == "clean-up-mode", name)


if __name__ == "__main__":
    unittest.main()
