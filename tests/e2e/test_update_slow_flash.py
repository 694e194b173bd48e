"""A flash utility that takes its time and then fails: the program waits for it as long as it
runs, keeps IDS_UPDATING on the animated status screen meanwhile, and ends the run as after any
flash."""

import unittest

from test_status_screen import SCREENS, TRACK, Picture
from test_update_flash import FlashRunCase
from test_update_outcomes import IDS_UPDATING, UPDATING_TO_FLASH_MS, WM_UPDATE_FINISH

FLASH_MS = 8000
FAILURE_CODE = 7
SCREEN = (1024, 768)
# Two moments well inside the utility's run, 1.5 s apart: the block moves one place per 100 ms
# and comes back after 3.2 s, so it stands elsewhere in the second picture.
SHOTS = [f"status:{IDS_UPDATING}+2500", f"status:{IDS_UPDATING}+4000"]


def differing_pixels(first, second):
    return [(x, y) for y in range(first.height) for x in range(first.width)
            if first.at(x, y) != second.at(x, y)]


class SlowFailingFlash(FlashRunCase):
    def test_the_program_waits_for_the_utility_and_keeps_animating(self):
        report, window, trace, record, start = self.run_flash(
            bios_version="MIRTSF12", screen=SCREEN, screenshots=SHOTS,
            env={"BIOSUPDATE_STUB_DELAY_MS": str(FLASH_MS),
                 "BIOSUPDATE_STUB_EXIT_CODE": str(FAILURE_CODE)})
        self.assertEqual((record["delay-ms"], record["exit-code"]),
                         ([str(FLASH_MS)], [str(FAILURE_CODE)]))

        # The worker goes on only once the utility has ended (it sleeps after its start), and
        # then at once, whatever the exit code.
        (finish,) = trace.posted(WM_UPDATE_FINISH)
        self.assertGreaterEqual(finish["ms"] - start["ms"], FLASH_MS)
        self.assert_about(finish["ms"] - start["ms"], FLASH_MS, "the utility's start to the end")
        updating = self.shown_ms(report, IDS_UPDATING)
        self.assert_about(window["gone_ms"] - updating, UPDATING_TO_FLASH_MS + FLASH_MS,
                          "IDS_UPDATING to the window's end")

        # IDS_UPDATING stays on the screen until the window goes.
        later = [e for e in report["status_timeline"] if updating < e["ms"] < window["gone_ms"]]
        self.assertEqual(later, [])

        shots = report["screenshots"]
        self.assertEqual([s["at"] for s in shots], SHOTS)
        for shot in shots:
            self.assertTrue(shot["ok"], shot)
            self.assertGreater(shot["ms"], start["ms"], "screenshot before the utility started")
            self.assertLess(shot["ms"], finish["ms"], "screenshot after the utility ended")
        first, second = (Picture(s["path"]) for s in shots)
        changed = differing_pixels(first, second)
        self.assertTrue(changed, "the progress block did not move")
        frame_x, frame_y = SCREENS[SCREEN]
        outside_track = [(x, y) for x, y in changed
                         if not (TRACK[0] <= x - frame_x <= TRACK[2] and
                                 TRACK[1] <= y - frame_y <= TRACK[3])]
        self.assertEqual(outside_track[:5], [], "the screen changed outside the progress track")


if __name__ == "__main__":
    unittest.main()
