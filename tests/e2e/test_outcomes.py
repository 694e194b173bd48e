"""Update runs that do not flash: the verdicts on the running BIOS version that Wine's WMI reads
from the simulated firmware, and the image gone or a directory in its place."""

import unittest

from e2e_support import (IDS_CANNOT_UPDATE, IDS_IMAGE_OLDER, IDS_INITIALIZING, IDS_LOADING,
                         IDS_SAME_VERSION, IDS_VERIFYING, STUB_RECORD, WM_CLOSE, WORK_FOLDER,
                         ProductTestCase)

LOOK_UP = [(IDS_CANNOT_UPDATE, 1000)]


def verdict(status_id):
    """The image found: IDS_LOADING 3000 ms after the worker's start, then 2000 ms to each of
    IDS_VERIFYING and the verdict."""
    return [(IDS_LOADING, 3000), (IDS_VERIFYING, 2000), (status_id, 2000)]


class Outcomes(ProductTestCase):
    def test_each_outcome_shows_its_text_stamps_and_ends_by_the_exit_timer(self):
        cases = [
            # options, status texts after IDS_INITIALIZING with their pauses, the last one's
            # pause, what is left of the work folder
            (dict(bios_version="MIRTSF13", ac="unknown", battery=20, screen=(800, 600),
                  screenshots=[f"status:{IDS_SAME_VERSION}", f"status:{IDS_SAME_VERSION}+1500"]),
             verdict(IDS_SAME_VERSION), 5000, None),
            (dict(bios_version="MIRTSF14"), verdict(IDS_IMAGE_OLDER), 5000, None),
            (dict(bios_version="ABCDEF13"), verdict(IDS_CANNOT_UPDATE), 3000, None),
            # Close requests (Alt+F4, say) all through IDS_INITIALIZING: those queued during the
            # start timer's work are handled right after it, when the image has just been
            # written and the worker has just started. Each deletes the payload and the run
            # goes on, so the look-up a second later finds nothing.
            (dict(close_during_status=IDS_INITIALIZING), LOOK_UP, 3000, None),
            # A directory cannot be deleted, so the image is never written; the look-up takes
            # no directory for the image, so even an older BIOS is not flashed.
            (dict(dirs=[WORK_FOLDER + r"\mirtsf13.imc"]), LOOK_UP, 3000, ["mirtsf13.imc"]),
        ]
        for options, steps, pause_ms, left in cases:
            with self.subTest(**{k: v for k, v in options.items() if k != "screenshots"}):
                report, window, trace = self.run_update(
                    env={"BIOSUPDATE_STUB_RECORD": STUB_RECORD}, **options)
                self.assert_statuses(report, [status_id for status_id, _ in steps])
                self.assert_timeline(report, window, trace, steps)
                self.assert_ended_by_exit_timer(report, trace, pause_ms)
                self.assert_work_folder(report, left)
                if "screenshots" in options:
                    self.assert_status_screen(report, "en")
                if "close_during_status" in options:
                    worker_start = self.worker_start_ms(trace)
                    self.assertTrue([c for c in trace.handled(WM_CLOSE)
                                     if worker_start <= c["ms"] < worker_start + 1000],
                                    "no close request was handled before the look-up")
                    self.assertGreater(window["gone_ms"], report["close_requests"][-1],
                                       "a close request ended the window")


if __name__ == "__main__":
    unittest.main()
