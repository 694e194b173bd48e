"""Update runs in which the worker finds no BIOS image: it was removed before the look-up, or a
directory stands where it should have been written."""

import unittest

from e2e_support import WORK_FOLDER
from test_update_outcomes import (CANNOT_UPDATE_PAUSE_MS, IDS_CANNOT_UPDATE, IDS_INITIALIZING,
                                  STUB_RECORD, WM_CLOSE, WORKER_TO_LOOKUP_MS, UpdateRunCase)


class ImageGoneBeforeTheLookUp(UpdateRunCase):
    def test_a_close_request_after_the_extraction_leaves_nothing_to_find(self):
        # Close requests (Alt+F4, say) all through IDS_INITIALIZING: the window's thread handles
        # the ones queued during the start timer's work right after it, when the image has just
        # been written and the worker has just started. Each deletes the payload and the run
        # goes on, so the worker's look-up a second later finds nothing.
        report, window, trace = self.run_update(bios_version="MIRTSF13",
                                                close_during_status=IDS_INITIALIZING,
                                                env={"BIOSUPDATE_STUB_RECORD": STUB_RECORD})
        self.assertTrue(report["close_requests"], "no close request was posted")
        worker_start = self.worker_start_ms(trace)
        before_look_up = [c["ms"] for c in trace.handled(WM_CLOSE)
                          if worker_start <= c["ms"] < worker_start + WORKER_TO_LOOKUP_MS]
        self.assertTrue(before_look_up, "no close request was handled before the look-up")

        self.assert_status_texts(report, [IDS_CANNOT_UPDATE])
        self.assert_about(self.shown_ms(report, IDS_CANNOT_UPDATE) - worker_start,
                          WORKER_TO_LOOKUP_MS, "worker start to IDS_CANNOT_UPDATE")
        self.assert_stamped(report)
        self.assertIsNone(report["stub_record"], "the flash utility ran")
        self.assert_finished_with_exit_timer(report, trace, IDS_CANNOT_UPDATE,
                                             CANNOT_UPDATE_PAUSE_MS)
        self.assert_window_timeline(report, window, trace)
        self.assertGreater(window["gone_ms"], report["close_requests"][-1],
                           "a close request ended the window")
        self.assert_work_folder_entries(report, [])


class DirectoryInPlaceOfTheImage(UpdateRunCase):
    """A directory named "mirtsf13.imc" cannot be deleted, so the image is never written. The
    look-up takes no directory for the image, so even a BIOS older than the image ends with
    IDS_CANNOT_UPDATE alone and the flash utility never starts."""

    IMAGE_DIRECTORY = WORK_FOLDER + r"\mirtsf13.imc"

    def test_an_older_bios_is_not_flashed_from_a_directory(self):
        report, _, trace = self.run_update(bios_version="MIRTSF12", dirs=[self.IMAGE_DIRECTORY],
                                           env={"BIOSUPDATE_STUB_RECORD": STUB_RECORD})
        self.assert_status_texts(report, [IDS_CANNOT_UPDATE])
        self.assert_stamped(report)
        self.assertIsNone(report["stub_record"], "the flash utility ran")
        self.assert_finished_with_exit_timer(report, trace, IDS_CANNOT_UPDATE,
                                             CANNOT_UPDATE_PAUSE_MS)
        # The clean-up cannot delete the directory, so the folder stays with it alone.
        self.assertEqual(report.work_folder.get("entries"), {"mirtsf13.imc": "dir"})


if __name__ == "__main__":
    unittest.main()
