"""Update runs that do not flash: the verdicts on the running BIOS version that Wine's WMI reads
from the simulated firmware, and the image gone or a directory in its place."""

import unittest

from tools.bench.rules import (IDS_CANNOT_UPDATE, IDS_IMAGE_OLDER, IDS_INITIALIZING,
                               IDS_SAME_VERSION, WORKER_START_TO_LOOK_UP, worker_steps)

from .e2e_support import RECORD, WM_CLOSE, WORK_FOLDER, ProductTestCase


class Outcomes(ProductTestCase):
    def test_each_outcome_shows_its_text_stamps_and_ends_by_the_exit_timer(self):
        cases = [
            # options, the verdict, whether the look-up finds the image, what is left of the
            # work folder
            (dict(bios_version="MIRTSF13", ac="unknown", battery=20, screen=(800, 600),
                  screenshots=[f"status:{IDS_SAME_VERSION}", f"status:{IDS_SAME_VERSION}+1500"]),
             IDS_SAME_VERSION, True, None),
            (dict(bios_version="MIRTSF14"), IDS_IMAGE_OLDER, True, None),
            (dict(bios_version="ABCDEF13"), IDS_CANNOT_UPDATE, True, None),
            # Close requests (Alt+F4, say) all through IDS_INITIALIZING: those queued during the
            # start timer's work are handled right after it, when the image has just been
            # written and the worker has just started. Each deletes the payload and the run
            # goes on, so the look-up a second later finds nothing.
            (dict(close_during_status=IDS_INITIALIZING), IDS_CANNOT_UPDATE, False, None),
            # A directory cannot be deleted, so the image is never written; the look-up takes
            # no directory for the image, so even an older BIOS is not flashed.
            (dict(dirs=[WORK_FOLDER + r"\mirtsf13.imc"]), IDS_CANNOT_UPDATE, False,
             ["mirtsf13.imc"]),
        ]
        for options, verdict, image_found, left in cases:
            with self.subTest(**{k: v for k, v in options.items() if k != "screenshots"}):
                report, window, trace = self.run_update(env=RECORD, **options)
                steps, _ = worker_steps(verdict, image_found)
                self.assert_statuses(report, [status_id for status_id, _ in steps])
                self.assert_timeline(report, window, trace, verdict, image_found)
                self.assert_ended_by_exit_timer(report, trace)
                self.assert_work_folder(report, left)
                if "screenshots" in options:
                    self.assert_status_screen(report, "en")
                if "close_during_status" in options:
                    start, look_up = self.worker_start_ms(trace), WORKER_START_TO_LOOK_UP
                    self.assertTrue([c for c in trace.handled(WM_CLOSE)
                                     if start <= c["ms"] < start + look_up],
                                    "no close request was handled before the look-up")
                    self.assertGreater(window["gone_ms"], report["close_requests"][-1],
                                       "a close request ended the window")


if __name__ == "__main__":
    unittest.main()
