"""The machines derived from a package description and the BIOS it is meant to replace: the full
and the quick set, the filter, a vendor's package and its version steps, and whether the package
would flash the BIOS it is meant to replace."""

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
            "program-files-odd": flash, "program-files-hangul": flash,
            "program-files-accented": flash, "windows-xp": flash, "windows-7": flash,
            "windows-10": flash, "screen-800x600": flash, "screen-1920x1080": flash,
            "screen-3840x2160": flash, "work-folder-stale": "cannot update",
            "answer-no": "declined",
            "second-instance": "second instance ignored", "clean-up-mode": "clean-up",
            "clean-up-leading-blank": "clean-up", "clean-up-plus-sign": "clean-up",
            "clean-up-leading-zero": "clean-up", "clean-up-text-after": "clean-up"})
        # One row for each form of the clean-up mode's argument.
        self.assertEqual({m["name"]: m["args"] for m in machines if m["args"]}, {
            "clean-up-mode": "1", "clean-up-leading-blank": " 1", "clean-up-plus-sign": "+1",
            "clean-up-leading-zero": "01", "clean-up-text-after": "1 x"})

    def test_the_quick_set_covers_every_outcome_and_dimension_but_not_the_slow_utility(self):
        for stand_in in (False, True):
            target = dict(self.target, stand_in_utility=stand_in)
            quick, every = matrix.select(target, quick_set=True), matrix.full(target)
            self.assertEqual(set(outcomes(quick, target).values()),
                             set(outcomes(every, target).values()))
            groups = {m["group"] for m in quick}
            self.assertEqual((groups, "utility" in groups), ({m["group"] for m in every}, stand_in))
            self.assertEqual([m["name"] for m in quick if m["windows"] or m["stale_image"] or
                              not (m["program_files"] or "").isascii()],
                             ["program-files-hangul", "windows-xp", "work-folder-stale"])
            self.assertNotIn("utility-slow", [m["name"] for m in quick])

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
        self.assertEqual((target["platform"], target["running"]), ("ABCDE", 0x1F))
        self.assertEqual((target["image_platform"], target["number"]), ("MIRTS", 0xF13))
        baseline = matrix.full(target)[0]
        self.assertEqual(baseline["bios_version"], "ABCDE1F")
        # The program holds the BIOS against the image it carries, which is of another platform.
        self.assertEqual(rules.expect(baseline, target)["outcome"], "cannot update")
        zero = dict(DEFAULT, image={"file": "mirts0.imc"})
        for description, platform, running in [(DEFAULT, "ABCD", None), (DEFAULT, None, "F1G"),
                                               (DEFAULT, None, "-1"), (zero, None, None)]:
            with self.assertRaises(package.PackageError):
                package.target(description, platform, running)

    def test_a_release_that_skips_versions_gets_rows_around_both_numbers(self):
        f15 = dict(DEFAULT, image={"file": "mirtsf15.imc"})
        target = package.target(f15, running_version="F12")
        machines = [m for m in matrix.full(target) if m["name"].startswith(("baseline", "bios"))]
        self.assertEqual([(m["name"], m["bios_version"], rules.expect(m, target)["outcome"])
                          for m in machines], [
            ("baseline", "MIRTSF12", "flash"), ("bios-equal", "MIRTSF15", "same version"),
            ("bios-newer", "MIRTSF16", "running BIOS newer"),
            ("bios-other-platform", "ZZZZZF12", "cannot update"),
            ("bios-short", "MIRT", "cannot update"), ("bios-empty", "", "cannot update"),
            ("bios-lower-case", "mirtsf12", "flash"),
            ("bios-space-in-prefix", "MIR TSF12", "cannot update")])
        self.assertEqual(package.unfit(target), [])

    def test_a_package_that_would_not_flash_the_bios_it_is_meant_for_is_named(self):
        for image, platform, running, why in [
                ("mirtsf12.imc", None, "F12", "the same version"),
                ("mirtsf12.imc", None, "F13", "older"),
                ("mirtsf12.imc", None, "F11", None), ("mirtsf13.imc", None, None, None),
                ("mirtsf12.imc", "MIRTZ", "F11", "of the platform MIRTS"),
                ("abcde2a0.rom", "MIRTS", "2A0", "of the platform ABCDE")]:
            target = package.target(dict(DEFAULT, image={"file": image}), platform, running)
            sentences = package.unfit(target)
            self.assertEqual(len(sentences), 0 if why is None else 1, image)
            if why:
                bios = f"{platform or 'MIRTS'}{running}"
                self.assertIn(f"meant to replace the BIOS {bios}, but its image {image} is {why}:",
                              sentences[0])


if __name__ == "__main__":
    unittest.main()
