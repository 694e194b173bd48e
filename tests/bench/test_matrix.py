"""The machines derived from a package description: the full and the quick set, the filter, a
vendor's package, and what it is meant for."""

import json
import os
import unittest

from tools.bench import matrix, package, rules

HERE = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(HERE, "default.package.json")) as _handle:
    DEFAULT = json.load(_handle)


def outcomes(machines, target):
    return {m["name"]: rules.expect(m, target)["outcome"] for m in machines}


class DefaultPackage(unittest.TestCase):
    target = package.target(DEFAULT)

    def test_every_row_of_the_full_set_expects_its_outcome(self):
        machines = matrix.full(self.target)
        self.assertEqual({m["name"]: m["bios_version"] for m in machines[:8]}, {
            "baseline": "MIRTSF12", "bios-equal": "MIRTSF13", "bios-newer": "MIRTSF14",
            "bios-other-platform": "ZZZZZF12", "bios-short": "MIRT", "bios-empty": "",
            "bios-lower-case": "mirtsf12", "bios-space-in-prefix": "MIR TSF12"})
        flash = "flash"
        self.assertEqual(outcomes(machines, self.target), {
            "baseline": flash, "bios-equal": "same version", "bios-newer": "running BIOS newer",
            "bios-other-platform": "cannot update", "bios-short": "cannot update",
            "bios-empty": "cannot update", "bios-lower-case": flash,
            "bios-space-in-prefix": "cannot update", "power-mains-20": flash,
            "power-mains-19": "low battery", "power-no-battery": flash,
            "power-off-mains": "no mains", "power-unknown": flash, "system-korean": flash,
            "program-files-odd": flash, "answer-no": "declined",
            "second-instance": "second instance ignored", "clean-up-mode": "clean-up"})

    def test_the_quick_set_covers_every_outcome_once(self):
        quick = outcomes(matrix.select(self.target, quick_set=True), self.target)
        every = outcomes(matrix.full(self.target), self.target)
        self.assertEqual(sorted(quick.values()), sorted(set(every.values())))

    def test_the_filter_takes_names_and_globs(self):
        for only, names in [("bios-equal", ["bios-equal"]), ("nothing", []),
                            ("power-*-19", ["power-mains-19"]), ("*korean", ["system-korean"])]:
            self.assertEqual([m["name"] for m in matrix.select(self.target, only=only)], names)
        self.assertEqual(len(matrix.select(self.target, quick_set=True, only="power-*")), 2)


class VendorPackage(unittest.TestCase):
    def test_a_vendor_image_gets_its_own_versions_and_command_line(self):
        vendor = dict(DEFAULT, stamp="2.0.1", image={"file": "qx7rwb204.bin"},
                      payload=[{"file": "SWinFlash.exe", "resource": 165},
                               {"file": "WINPHLASH.GID", "resource": 164},
                               {"file": "qx7rwb204.bin", "resource": 168, "size": 5}])
        target = package.target(vendor)
        machines = {m["name"]: m for m in matrix.full(target)}
        self.assertEqual([machines[n]["bios_version"] for n in ("baseline", "bios-newer")],
                         ["QX7RWB203", "QX7RWB205"])
        expected = rules.expect(machines["baseline"], target)
        self.assertTrue(expected["utility"]["command_line"].endswith(" QX7RWB204.BIN"))
        self.assertEqual((expected["stamp"], expected["utility"]["image_size"]), ("2.0.1", 5))
        # The help index is carried but never written beside the utility.
        self.assertEqual(expected["utility"]["files"], ["SWinFlash.exe", "qx7rwb204.bin"])

    def test_the_platform_and_running_version_it_is_meant_for(self):
        target = package.target(DEFAULT, platform="abcde", running_version="1f")
        self.assertEqual((target["platform"], target["number"]), ("ABCDE", 0x20))
        self.assertEqual(matrix.full(target)[0]["bios_version"], "ABCDE1F")
        for platform, running in [("ABCD", None), (None, "F1G"), (None, "-1")]:
            with self.assertRaises(package.PackageError):
                package.target(DEFAULT, platform, running)


if __name__ == "__main__":
    unittest.main()
