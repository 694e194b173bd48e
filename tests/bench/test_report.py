"""The comparison and the report, from recorded results of two machines: one that behaved as
expected and one that showed "same version" where a flash was expected (no Wine needed)."""

import copy
import json
import os
import shutil
import tempfile
import unittest

from tools.bench import compare, report_page, rules

RECORDED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "recorded")
with open(os.path.join(RECORDED, "results.json")) as _handle:
    RESULTS = json.load(_handle)
FINE, DIFFERING = RESULTS["machines"]


class Comparison(unittest.TestCase):
    def test_each_kind_of_difference_is_named(self):
        self.assertEqual(compare.differences(FINE["expected"], FINE["observed"]), [])
        self.assertEqual(compare.differences(DIFFERING["expected"], DIFFERING["observed"]), [
            "status texts: expected 138, 131, 132, 135, 137, saw 138, 131, 132, 142",
            "the flash utility did not run",
            "left behind: expected an empty work folder, found no work folder"])
        # The differing machine, expected as the rules have it, behaved as expected.
        same = rules.expect(DIFFERING["machine"], RESULTS["target"])
        self.assertEqual(compare.differences(same, DIFFERING["observed"]), [])
        flash = FINE["expected"]
        for expected, change, sentence in [
                (flash, lambda o: o["boxes"][0].update(pressed="NO"), "message boxes: expected"),
                (flash, lambda o: o["utility"][0].update(command_line="x"),
                 "command line: expected"),
                # A vendor's utility records nothing: its command line still counts.
                (flash, lambda o: o["utility"][0].update(command_line="x", recorded=False,
                                                         folder="y"), "command line: expected"),
                (flash, lambda o: o["utility"].clear(), "the flash utility did not run"),
                (flash, lambda o: o["utility"].append(o["utility"][0]),
                 "the flash utility ran 2 times instead of once"),
                (dict(flash, utility=None), lambda o: None,
                 "the flash utility ran, though nothing was to be flashed"),
                (flash, lambda o: o["utility"][0].update(pid=None),
                 "the flash utility failed to start"),
                (flash, lambda o: o["utility"][0].update(started_ms=o["utility"][0]["started_ms"]
                                                         + 1500),
                 "the flash utility started 2479 ms after text 137, expected about 1000 ms"),
                (flash, lambda o: o["utility"][0].update(ended_ms=None, ran_ms=None),
                 "the flash utility did not end by itself"),
                (flash, lambda o: o.update(end_ms=o["end_ms"] + 1500),
                 "the run ended 1541 ms after the flash utility (92 ms long), expected about 0"),
                (same, lambda o: o.update(end_ms=o["end_ms"] + 1500),
                 "the run ended 6602 ms after text 142, expected about 5000 ms"),
                (flash, lambda o: o.update(stamp=None), "version stamp: expected '1.1508.0312.01'"),
                (flash, lambda o: o.update(left={"BIOS.bak": 5}), "a work folder with BIOS.bak"),
                (flash, lambda o: o.update(autostart=True), "the autostart value is still there"),
                (flash, lambda o: o.update(second_instance="did not exit silently"),
                 "second instance: expected none, saw did not exit silently"),
                (flash, lambda o: o.update(ended="timeout"), "the run ended as 'timeout'"),
                (flash, lambda o: o["errors"].append("lost"), "the runner reported: lost")]:
            machine = FINE if expected is not same else DIFFERING
            observed = copy.deepcopy(machine["observed"])
            change(observed)
            (found,) = compare.differences(expected, observed)
            self.assertIn(sentence, found)

    def test_times_count_only_outside_the_tolerance(self):
        # A utility that runs for minutes is no difference: the run's end follows its own end.
        for shift_ms, utility_ms, found in [(400, 0, []), (-400, 0, []), (0, 90000, []),
                                            (1500, 90000, ["text 132 showed"]),
                                            (-1500, 0, ["text 132 showed"])]:
            observed = copy.deepcopy(FINE["observed"])
            for status in observed["status"][2:]:
                status["ms"] += shift_ms
            (utility,) = observed["utility"]
            utility.update(started_ms=utility["started_ms"] + shift_ms,
                           ended_ms=utility["ended_ms"] + shift_ms + utility_ms)
            observed["end_ms"] += shift_ms + utility_ms
            sentences = compare.differences(FINE["expected"], observed)
            self.assertEqual([s[:15] for s in sentences], found, shift_ms)


class Report(unittest.TestCase):
    def test_the_page_shows_differences_first_timelines_and_screens(self):
        with tempfile.TemporaryDirectory() as out:
            shutil.copytree(os.path.join(RECORDED, "screenshots"), os.path.join(out, "screenshots"))
            path = report_page.render(RESULTS, out)
            with open(path, encoding="utf-8") as handle:
                page = handle.read()
            written = report_page.write_results(RESULTS, out)
            with open(written, encoding="utf-8") as handle:
                self.assertEqual(json.load(handle), RESULTS)
        differences, matrix = page.index("<h2>Differences"), page.index("<h2>Matrix")
        self.assertLess(page.index("mirtsf13.imc"), differences)
        self.assertLess(differences, page.index("the flash utility did not run"))
        self.assertLess(page.index("the flash utility did not run"), matrix)
        self.assertEqual(page.count("<svg"), 2)
        # The strips show the expected 137 and the observed 142 of the differing machine.
        self.assertEqual((page.count("<title>137 from"), page.count("<title>142 from")), (3, 1))
        self.assertEqual(page.count('<img class="shot" src="data:image/png;base64,iVBOR'), 1)
        self.assertEqual(page.count("the flash utility ran 0.1 s"), 1)
        self.assertNotIn("http://", page.replace("http://www.w3.org/2000/svg", ""))
        self.assertNotIn("https://", page)
        self.assertIn('class="verdict differs"', page)

    def test_the_summary_names_the_differing_machine_and_the_verdict(self):
        text = report_page.summary(RESULTS, "/out/report.html")
        self.assertIn("2 machine(s) in 42 s, 1 as expected, 1 differing", text)
        self.assertIn("meant-for-f14: status texts: expected", text)
        self.assertTrue(text.endswith("report: /out/report.html\nverdict: differs"))


if __name__ == "__main__":
    unittest.main()
