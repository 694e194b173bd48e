"""What a bench machine costs, from the phases its run reported: the means per machine that the
benchmark table shows."""

import unittest

from tools.perf import costs


def machine(*laps):
    return {"phases": [{"phase": p, "cpu_s": c, "wall_s": w, "by_process": b}
                       for p, c, w, b in laps]}


class MachineCosts(unittest.TestCase):
    def test_means_per_machine_by_phase_and_by_process(self):
        cases = [
            # A phase one machine lacks counts as nothing there; order of first appearance; the
            # most costly process first.
            ("a phase of some machines",
             [machine(("prefix", 1.0, 1.0, {"cp": 1.0})),
              machine(("prefix", 0.0, 1.0, {}),
                      ("watched", 1.0, 3.0, {"Xvfb": 0.2, "uidriver.exe": 0.8}))],
             [("prefix", 0.5, 1.0, 2, {"cp": 0.5}),
              ("watched", 0.5, 1.5, 1, {"uidriver.exe": 0.4, "Xvfb": 0.1})]),
            # Two starts of one machine: their watches add up; a failed run reported nothing.
            ("several starts and a failed run",
             [machine(("watched", 1.0, 4.0, {"Xvfb": 0.1}), ("report", 0.5, 0.5, {}),
                      ("watched", 1.0, 2.0, {"Xvfb": 0.2})),
              {"phases": None}],
             [("watched", 2.0, 6.0, 1, {"Xvfb": 0.3}), ("report", 0.5, 0.5, 1, {})]),
            ("nothing measured", [{"phases": None}], []),
        ]
        for label, machines, expected in cases:
            with self.subTest(label):
                self.assertEqual([(p, round(c, 6), round(w, 6), n,
                                   [(k, round(v, 6)) for k, v in b.items()])
                                  for p, c, w, n, b in costs.by_phase(machines)],
                                 [(p, c, w, n, list(b.items())) for p, c, w, n, b in expected])


if __name__ == "__main__":
    unittest.main()
