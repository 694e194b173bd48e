"""The comparison and the report, from recorded results of two machines: one that behaved as
expected and one benched as if the package were meant for a newer BIOS (no Wine needed)."""

import copy
import json
import os
import shutil
import tempfile
import unittest

from tools.bench import compare, report_page

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
        for change, sentence in [
                (lambda o: o["boxes"][0].update(pressed="NO"), "message boxes: expected"),
                (lambda o: o["utility"][0].update(command_line="x"), "command line: expected"),
                # A vendor's utility records nothing: its command line still counts.
                (lambda o: o["utility"][0].update(command_line="x", recorded=False, folder="y"),
                 "command line: expected"),
                (lambda o: o["utility"].clear(), "the flash utility did not run"),
                (lambda o: o.update(stamp=None), "version stamp: expected '1.1508.0312.01'"),
                (lambda o: o.update(left={"BIOS.bak": 5}), "a work folder with BIOS.bak"),
                (lambda o: o.update(ended="timeout"), "the run ended as 'timeout'"),
                (lambda o: o["errors"].append("lost"), "the runner reported: lost")]:
            observed = copy.deepcopy(FINE["observed"])
            change(observed)
            (found,) = compare.differences(FINE["expected"], observed)
            self.assertIn(sentence, found)

    def test_times_count_only_outside_the_tolerance(self):
        for shift_ms, found in [(400, []), (-400, []), (1500, ["text 132 showed"]),
                                (-1500, ["text 132 showed"])]:
            observed = copy.deepcopy(FINE["observed"])
            for status in observed["status"][2:]:
                status["ms"] += shift_ms
            observed["end_ms"] += shift_ms
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
