"""The results for a CI system, from recorded results (no Wine): the JUnit XML read back with
junitparser, as GitLab's and Jenkins' reporters read it, and the Markdown summary."""

import copy
import os
import shutil
import tempfile
import unittest

from junitparser import Failure, JUnitXml

from tests.bench.test_report import DIFFERING, ERROR, FINE, RECORDED, RESULTS, WARNING
from tools.bench import ci

FAILED_RUN = dict(copy.deepcopy(DIFFERING), observed=None, screenshot=None,
                  differences=["the run failed: the run did not end within 90 s"])
FAILED_RUN["machine"].update(name="failed-run")


def read_back(results):
    """The suite junitparser reads from the XML, and the output folder's path."""
    with tempfile.TemporaryDirectory() as out:
        shutil.copytree(os.path.join(RECORDED, "screenshots"), os.path.join(out, "screenshots"))
        path = os.path.join(out, "junit.xml")
        ci.write_junit(results, path, out)
        (suite,) = JUnitXml.fromfile(path)
        attachment = os.path.join(out, FINE["screenshot"])
        return suite, attachment, os.path.isfile(attachment)


def table(text, header):
    """The rows of the Markdown table whose header starts with `header`, as lists of cells."""
    lines = text.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith(f"| {header}"))
    rows = []
    for line in lines[start + 2:]:
        if not line.startswith("|"):
            break
        rows.append([cell.strip() for cell in line.strip("|").split(" | ")])
    return rows


class JUnit(unittest.TestCase):
    def test_one_suite_with_the_package_a_case_per_machine_and_one_for_the_lint(self):
        results = dict(RESULTS, machines=RESULTS["machines"] + [FAILED_RUN],
                       lint=[WARNING, ERROR])
        suite, _, _ = read_back(results)
        self.assertEqual({p.name: p.value for p in suite.properties()},
                         {"image": "mirtsf13.imc", "platform": "MIRTS", "version": "F13",
                          "stamp": "1.1508.0312.01"})
        cases = {case.name: case for case in suite}
        self.assertEqual(list(cases), ["lint", "baseline", "meant-for-f14", "failed-run"])
        self.assertEqual((suite.tests, suite.failures), (4, 3))
        self.assertTrue(cases["baseline"].is_passed)
        for name, sentences in [("lint", [ERROR["text"]]),
                                ("meant-for-f14", DIFFERING["differences"]),
                                ("failed-run", FAILED_RUN["differences"])]:
            (failure,) = cases[name].result
            self.assertIsInstance(failure, Failure)
            self.assertEqual(failure.message, "; ".join(sentences))
            self.assertEqual(failure.text.splitlines(), sentences)
        # Texts go by their words, not their numbers.
        self.assertIn('saw "Target System BIOS and source System BIOS are same Version."',
                      cases["meant-for-f14"].result[0].message)
        # A warning alone fails nothing, but the lint's case shows it.
        self.assertEqual(cases["lint"].system_out.splitlines(),
                         [f"warning: {WARNING['text']}", f"error: {ERROR['text']}"])
        suite, _, _ = read_back(dict(RESULTS, machines=[FINE], lint=[WARNING]))
        self.assertTrue(all(case.is_passed for case in suite))

    def test_each_case_shows_its_texts_with_times_and_attaches_its_screenshot(self):
        suite, attachment, attached = read_back(RESULTS)
        cases = {case.name: case.system_out.splitlines() for case in suite}
        self.assertIn('3.5 s "Initializing for BIOS update"', cases["baseline"])
        self.assertIn('15.1 s "BIOS is updating now. This will take approximately 3 minutes to '
                      'completion"', cases["baseline"])
        self.assertIn('11.2 s "Target System BIOS and source System BIOS are same Version."',
                      cases["meant-for-f14"])
        self.assertEqual(cases["baseline"][-1], f"[[ATTACHMENT|{attachment}]]")
        self.assertTrue(attached)
        self.assertFalse(any("[[ATTACHMENT|" in line for line in cases["meant-for-f14"]))


class Markdown(unittest.TestCase):
    def test_the_summary_gives_the_verdict_counts_lint_and_first_differences(self):
        text = ci.markdown(dict(RESULTS, lint=[WARNING]))
        self.assertEqual(table(text, "Verdict"), [["**differs**", "2", "1", "1", "0", "1"]])
        self.assertEqual(table(text, "Lint"), [["warning", WARNING["text"]]])
        ((name, first),) = table(text, "Differing machine")
        self.assertEqual(name, "`meant-for-f14`")
        self.assertTrue(first.startswith('status texts after "Verifing your system BIOS '
                                         'version.": expected "Checking'), first)
        self.assertTrue(first.endswith("(+2 more)"), first)
        self.assertEqual(table(ci.markdown(dict(RESULTS, machines=[FINE])), "Verdict"),
                         [["**as expected**", "1", "1", "0", "0", "0"]])

    def test_it_stays_well_under_a_mebibyte_however_much_differs(self):
        machines = []
        for number in range(3000):
            machine = copy.deepcopy(DIFFERING)
            machine["machine"]["name"] = f"machine-{number}"
            machine["differences"] = ["a | b < c " * 500] * 20
            machines.append(machine)
        text = ci.markdown(dict(RESULTS, machines=machines, lint=[ERROR] * 3000))
        self.assertLess(len(text.encode("utf-8")), 64 * 1024)
        rows = table(text, "Differing machine")
        # Every row keeps its two cells: the pipes inside a difference are escaped.
        self.assertTrue(all(len(row) == 2 for row in rows), rows[0])
        self.assertIn(f"and {3000 - len(rows)} more differing machines", text)


if __name__ == "__main__":
    unittest.main()
