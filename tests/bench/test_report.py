"""The comparison and the report, from recorded results of two machines: one that behaved as
expected and one that showed "same version" where a flash was expected, changed here to provoke
every kind of difference (no Wine needed)."""

import copy
import json
import os
import shutil
import tempfile
import unittest

from tools.bench import compare, report_page, rules, running

RECORDED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "recorded")
with open(os.path.join(RECORDED, "results.json")) as _handle:
    RESULTS = json.load(_handle)
FINE, DIFFERING = RESULTS["machines"]
WARNING = {"severity": "warning", "text": "the certificate CN=Vendor expires on 2027-01-01"}
ERROR = {"severity": "error", "text": "the image abcde2a0.rom is empty"}
CONFIRM = ('"BIOS update" box "You must close all the application now since the system will '
           'restart after BIOS update is completed. Proceed BIOS update now?" [YES/NO] answered')


class Comparison(unittest.TestCase):
    def test_each_kind_of_difference_is_named_with_the_programs_own_words(self):
        self.assertEqual(compare.differences(FINE["expected"], FINE["observed"]), [])
        self.assertEqual(compare.differences(DIFFERING["expected"], DIFFERING["observed"]), [
            'status texts after "Verifing your system BIOS version.": expected "Checking for '
            'BIOS update on your system", "BIOS is updating now. This will take approximately 3 '
            'minutes to completion", saw "Target System BIOS and source System BIOS are same '
            'Version."',
            "the flash utility did not run",
            "left behind: expected an empty work folder, found no work folder"])
        # The differing machine, expected as the rules have it, behaved as expected; only its
        # end may not be late after its last text.
        same = rules.expect(DIFFERING["machine"], RESULTS["target"])
        self.assertEqual(compare.differences(same, DIFFERING["observed"]), [])
        late = dict(DIFFERING["observed"], end_ms=DIFFERING["observed"]["end_ms"] + 1500)
        self.assertEqual(compare.differences(same, late), [
            'the run ended 6602 ms after "Target System BIOS and source System BIOS are same '
            'Version.", expected about 5000 ms'])
        utility = lambda o: o["utility"][0]  # noqa: E731
        # (what changes in the observed outcome, or in the expected one, and the sentence.)
        for change_observed, change_expected, sentence in [
                (lambda o: o["boxes"][0].update(pressed="NO"), None,
                 f"message boxes: expected {CONFIRM} YES, saw {CONFIRM} NO"),
                (lambda o: o["boxes"][0].update(text="Proceed?", text_id=None), None,
                 '"Proceed?" (not a text of the program)'),
                (lambda o: o["status"].pop(1), None,
                 'status texts after "Initializing for BIOS update": expected "Loading BIOS '
                 'update files.", "Verifing your'),
                # The utility's start follows the last text; the run's end, the utility's own.
                (lambda o: utility(o).update(started_ms=utility(o)["started_ms"] + 1500), None,
                 'the flash utility started 2479 ms after "BIOS is updating now. This will take '
                 'approximately 3 minutes to completion", expected about 1000 ms'),
                (lambda o: o.update(end_ms=o["end_ms"] + 1500), None,
                 "the run ended 1541 ms after the flash utility (92 ms long), expected about 0"),
                (lambda o: utility(o).update(ended_ms=None, ran_ms=None), None,
                 "the flash utility did not end by itself"),
                (lambda o: utility(o).update(pid=None), None, "the flash utility failed to start"),
                (lambda o: utility(o).update(command_line="x"), None, "command line: expected"),
                # A vendor's utility records nothing: its command line still counts.
                (lambda o: utility(o).update(command_line="x", recorded=False, folder="y"), None,
                 "command line: expected"),
                (lambda o: utility(o).update(folder="C:\\"), None,
                 "the flash utility's current folder: expected"),
                (lambda o: utility(o).update(image="X.IMC"), None,
                 "the flash utility's image argument: expected 'MIRTSF13.IMC', saw 'X.IMC'"),
                (lambda o: utility(o).update(image_size=5), None,
                 "the flash utility's image size: expected 1053222, saw 5"),
                (lambda o: utility(o).update(backup=None), None,
                 "the flash utility's backup file: expected 'BIOS.bak', saw None"),
                (lambda o: utility(o)["files"].remove("msvcrt.dll"), None,
                 "the flash utility's files beside it: expected"),
                (lambda o: o["utility"].clear(), None, "the flash utility did not run"),
                (lambda o: o["utility"].append(utility(o)), None,
                 "the flash utility ran 2 times instead of once"),
                (None, lambda e: e.update(utility=None),
                 "the flash utility ran, though nothing was to be flashed"),
                (lambda o: o.update(stamp=None), None,
                 "version stamp: expected '1.1508.0312.01', found None"),
                (lambda o: o.update(left={"BIOS.bak": 5}), None, "a work folder with BIOS.bak"),
                (lambda o: o.update(autostart=True), None, "the autostart value is still there"),
                (None, lambda e: e.update(autostart=True), "the autostart value is missing"),
                (lambda o: o.update(second_instance="did not exit silently"), None,
                 "second instance: expected none, saw did not exit silently"),
                (lambda o: o.update(ended="timeout"), None, "the run ended as 'timeout'"),
                (lambda o: o["errors"].append("lost"), None, "the runner reported: lost")]:
            observed, expected = copy.deepcopy(FINE["observed"]), copy.deepcopy(FINE["expected"])
            (change_observed or change_expected)(observed if change_observed else expected)
            (found,) = compare.differences(expected, observed)
            self.assertIn(sentence, found)

    def test_a_question_of_the_utility_counts_where_it_showed_when_it_was_answered(self):
        expected = dict(FINE["expected"], boxes=FINE["expected"]["boxes"] + [rules.UTILITY_BOX])
        box = {"role": "utility", "caption": "SWinFlash", "text": "Its own words", "text_id": None,
               "buttons": ["OK"], "pressed": "OK", "on_top": True, "foreground": True}
        utility = f'{CONFIRM} YES; the flash utility\'s "SWinFlash" box [OK] {{}} then'
        fine = "answered OK, on top and in the foreground"
        for changes, seen in [({}, fine), ({"on_top": False}, "answered OK, not on top and in the "
                                                              "foreground"),
                              ({"foreground": False}, "answered OK, on top and not in the "
                                                      "foreground")]:
            observed = copy.deepcopy(FINE["observed"])
            observed["boxes"].append(dict(box, **changes))
            self.assertEqual(compare.differences(expected, observed), [] if seen == fine else [
                f"message boxes: expected {utility.format(fine)}, saw {utility.format(seen)}"])

    def test_a_run_that_cannot_be_made_is_a_difference(self):
        with tempfile.TemporaryDirectory() as out:
            bench = running.Bench(os.path.join(out, "BIOSUpdate.exe"), RESULTS["target"], out,
                                  os.path.join(out, "uidriver.exe"), out, jobs=1)
            result = bench.run_one(FINE["machine"])
        self.assertEqual(result["differences"], [
            f"the run failed: the program to run is missing: {out}/BIOSUpdate.exe (build the "
            "product tree first)"])
        self.assertIsNone(result["observed"])

    def test_times_count_only_outside_the_tolerance(self):
        # A utility that runs for minutes is no difference: the run's end follows its own end.
        for shift_ms, utility_ms, found in [
                (400, 0, []), (-400, 0, []), (0, 90000, []),
                (1500, 90000, ['"Verifing your system BIOS version." showed 3508 ms']),
                (-1500, 0, ['"Verifing your system BIOS version." showed 508 ms'])]:
            observed = copy.deepcopy(FINE["observed"])
            for status in observed["status"][2:]:
                status["ms"] += shift_ms
            (utility,) = observed["utility"]
            utility.update(started_ms=utility["started_ms"] + shift_ms,
                           ended_ms=utility["ended_ms"] + shift_ms + utility_ms)
            observed["end_ms"] += shift_ms + utility_ms
            sentences = compare.differences(FINE["expected"], observed)
            self.assertEqual([s[:len(f)] for s, f in zip(sentences, found)], found, shift_ms)
            self.assertEqual(len(sentences), len(found), sentences)


class Report(unittest.TestCase):
    def test_the_page_shows_the_lint_then_differences_first_timelines_and_screens(self):
        results = dict(RESULTS, lint=[WARNING])
        with tempfile.TemporaryDirectory() as out:
            shutil.copytree(os.path.join(RECORDED, "screenshots"), os.path.join(out, "screenshots"))
            path = report_page.render(results, out)
            with open(path, encoding="utf-8") as handle:
                page = handle.read()
            written = report_page.write_results(RESULTS, out)
            with open(written, encoding="utf-8") as handle:
                self.assertEqual(json.load(handle), RESULTS)
        differences, matrix = page.index("<h2>Differences"), page.index("<h2>Matrix")
        self.assertLess(page.index(WARNING["text"]), page.index("<h2>Package"))
        self.assertLess(page.index("mirtsf13.imc"), differences)
        self.assertLess(differences, page.index("the flash utility did not run"))
        self.assertLess(page.index("the flash utility did not run"), matrix)
        self.assertEqual(page.count("<svg"), 2)
        # The strips name the texts: the flash's expected twice and seen once, and the differing
        # machine's "same version".
        self.assertEqual((page.count("<title>&#34;BIOS is updating now."),
                          page.count("<title>&#34;Target System BIOS and source System BIOS are "
                                     "same Version.")), (3, 1))
        self.assertEqual(page.count('<img class="shot" src="data:image/png;base64,iVBOR'), 1)
        self.assertEqual(page.count("the flash utility ran 0.1 s"), 1)
        self.assertNotIn("http://", page.replace("http://www.w3.org/2000/svg", ""))
        self.assertNotIn("https://", page)
        self.assertIn('class="verdict differs"', page)

    def test_the_summary_names_the_differing_machine_and_the_verdict(self):
        text = report_page.summary(RESULTS, "/out/report.html")
        self.assertIn("2 machine(s) in 42 s, 1 as expected, 1 differing", text)
        self.assertIn('meant-for-f14: status texts after "Verifing your system BIOS version.": '
                      'expected "Checking for BIOS update', text)
        self.assertTrue(text.endswith("report: /out/report.html\nverdict: differs"))

    def test_a_lint_error_alone_makes_the_verdict_differ_and_a_warning_does_not(self):
        for findings, verdict in [([], "as expected"), ([WARNING], "as expected"),
                                  ([WARNING, ERROR], "differs")]:
            results = dict(RESULTS, machines=[FINE], lint=findings)
            self.assertEqual(report_page.verdict(results), verdict, findings)
            self.assertEqual(report_page.summary(results, "r").count("lint "), len(findings))


if __name__ == "__main__":
    unittest.main()
