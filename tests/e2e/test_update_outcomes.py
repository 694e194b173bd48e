"""The update run's outcomes that do not flash, decided on the running BIOS version that Wine's
WMI reads from the simulated firmware; and what every update run is checked for: its status texts
in order, their timing, the version stamp, the end of the run and the work folder it leaves.

The other test_update_* groups build on UpdateRunCase. A No answer (no payload, no stamp, never
full screen) is test_startup_declined's."""

import re
import unittest

from e2e_support import ProductTestCase

STAMP_KEY = r"HKEY_USERS\.DEFAULT\Software\Tamrel\BIOSUPDATE\Parameters"
STAMP = "1.1508.0312.01"
# Where the stand-in flash utility records how it was started, if it is.
STUB_RECORD = r"C:\e2e\flash.txt"
IDT_START, IDT_ANIMATE, IDT_EXIT = 0x800, 0x805, 0xF5F
WM_TIMER, WM_CLOSE, WM_UPDATE_FINISH = 0x113, 0x10, 0x806
IDS_LOADING, IDS_VERIFYING, IDS_CANNOT_UPDATE = 131, 132, 133
IDS_CHECKING, IDS_UPDATING, IDS_INITIALIZING = 135, 137, 138
IDS_IMAGE_OLDER, IDS_SAME_VERSION = 141, 142
# The status texts as the program must show them.
STATUS_TEXTS = {
    "en": {
        IDS_LOADING: "Loading BIOS update files. ",
        IDS_VERIFYING: "Verifing your system BIOS version.",
        IDS_CANNOT_UPDATE: "Can not update BIOS update on your system",
        IDS_CHECKING: "Checking for BIOS update on your system",
        IDS_UPDATING: "BIOS is updating now. This will take approximately 3 minutes to completion",
        IDS_INITIALIZING: "Initializing for BIOS update",
        IDS_IMAGE_OLDER: "Target System BIOS is newer than the source System BIOS.",
        IDS_SAME_VERSION: "Target System BIOS and source System BIOS are same Version.",
    },
    "ko": {
        IDS_LOADING: "BIOS 업데이트 할 파일을 로딩중 입니다.",
        IDS_VERIFYING: "시스템 BIOS 버전을 확인중 입니다",
        IDS_CANNOT_UPDATE: "현재 시스템에는 BIOS를 업데이트 할 수 없습니다.",
        IDS_CHECKING: "BIOS 업데이트하기 위한 상태를 점검중 입니다.",
        IDS_UPDATING: "BIOS 업데이트를 수행중입니다. 업데이트 완료까지는 약 3분정도 소요 됩니다.",
        IDS_INITIALIZING: "BIOS 업데이트하기 위한 준비 작업중 입니다.",
        IDS_IMAGE_OLDER: "현재 시스템 BIOS Version이 업데이트하려는 BIOS Version보다 최신 입니다.",
        IDS_SAME_VERSION: "현재 시스템 BIOS Version과 업데이트하려는 BIOS Version이 동일 합니다.",
    },
}
# Sleeps of the program that separate what can be seen of it from outside.
COVER_TO_INITIALIZING_MS = 2000
START_TIMER_MS = 500
ANIMATE_TIMER_MS = 100
EXIT_TIMER_MS = 3000
WORKER_TO_LOOKUP_MS = 1000
WORKER_TO_LOADING_MS = 3000
STEP_MS = 2000
CHECKING_TO_UPDATING_MS = 4000
UPDATING_TO_FLASH_MS = 1000
CANNOT_UPDATE_PAUSE_MS = 3000
VERDICT_PAUSE_MS = 5000
# How far a measured gap between two sightings may stray under Wine on a shared machine: the
# driver polls every 30 ms and needs two sightings, a repaint waits for the next 100 ms tick, and
# other runs compete for the two cores.
TOLERANCE_MS = 600
TRACE_CHANNELS = "+msg,+process"

# Wine 8's wording of the trace lines read here.
_SET_TIMER = re.compile(r"^NtUserSetTimer Added (0x[0-9a-f]+) ([0-9a-f]+) \S+ timeout (\d+)$")
_POST = re.compile(r"^NtUserPostMessage hwnd (0x[0-9a-f]+) msg ([0-9a-f]+) ")
_RECEIVED = re.compile(r"^peek_message got type \d+ msg ([0-9a-f]+) \(.*\) hwnd (\S+) "
                       r"wp ([0-9a-f]+) ")
_DEBUG_STRING = r'(\(null\)|L"(?:[^"\\]|\\.)*")'
_CREATE_PROCESS = re.compile(r"^CreateProcessInternalW app " + _DEBUG_STRING + " cmdline " +
                             _DEBUG_STRING)


def _debug_string(text):
    """The text of one of Wine's debugstr_w renderings: L"..." with \\ and \" escaped."""
    if text == "(null)":
        return None
    return re.sub(r"\\(.)", r"\1", text[2:-1])


class ProgramTrace:
    """What Wine's +msg,+process trace shows of the program: the timers armed on its status
    window, the messages posted to and received by it, and the processes it started, each with
    the time and the thread."""

    def __init__(self, report, hwnd):
        pid = report.ended["pid"]
        self.timers, self.posts, self.received, self.process_starts = [], [], [], []
        for order, entry in enumerate(e for e in report["wine_trace"] if e["pid"] == pid):
            text, at, tid = entry["text"], entry["ms"], entry["tid"]
            if match := _SET_TIMER.match(text):
                if match[1] == hwnd:
                    self.timers.append({"order": order, "ms": at, "tid": tid,
                                        "id": int(match[2], 16), "timeout": int(match[3])})
            elif match := _POST.match(text):
                if match[1] == hwnd:
                    self.posts.append({"order": order, "ms": at, "tid": tid,
                                       "msg": int(match[2], 16)})
            elif match := _RECEIVED.match(text):
                if match[2] == hwnd:
                    self.received.append({"order": order, "ms": at, "tid": tid,
                                          "msg": int(match[1], 16), "wp": int(match[3], 16)})
            elif match := _CREATE_PROCESS.match(text):
                self.process_starts.append({"ms": at, "tid": tid, "app": _debug_string(match[1]),
                                            "command_line": _debug_string(match[2])})

    def timers_with_id(self, timer_id):
        return [t for t in self.timers if t["id"] == timer_id]

    def posted(self, message):
        return [p for p in self.posts if p["msg"] == message]

    def handled(self, message, wp=None):
        return [r for r in self.received if r["msg"] == message and wp in (None, r["wp"])]


class UpdateRunCase(ProductTestCase):
    """One Yes-answered run of the product on a machine, and the checks every update run shares.
    It has no tests of its own."""

    def run_update(self, **options):
        options.setdefault("timeout", 60)
        report = self.run_machine(answer="yes", wine_debug=TRACE_CHANNELS, **options)
        self.assert_exited_by_itself(report)
        self.assertEqual(report.exit_code, 0)
        self.assert_asked(report, options.get("locale", "en"))
        self.assertEqual(report.message_boxes[0]["pressed"], "YES")
        (window,) = report.fullscreen_windows()
        trace = ProgramTrace(report, window["hwnd"])
        # Without these the trace is unreadable, and every check of an absence below is void.
        (start,) = trace.timers_with_id(IDT_START)
        (animate,) = trace.timers_with_id(IDT_ANIMATE)
        self.assertEqual((start["timeout"], animate["timeout"]), (START_TIMER_MS, ANIMATE_TIMER_MS))
        return report, window, trace

    def assert_status_texts(self, report, worker_ids, locale="en"):
        """IDS_INITIALIZING and then exactly these texts, in this order, as they must read."""
        ids = [IDS_INITIALIZING] + worker_ids
        self.assertEqual(report.status_ids, ids)
        self.assertEqual([s["text"] for s in report["status_texts"]],
                         [STATUS_TEXTS[locale][i] for i in ids])

    def assert_stamped(self, report):
        value = report.registry["version"]
        self.assertIsNotNone(value, "no version stamp")
        # The .reg file holds it as UTF-16: 14 characters and the NUL of the 15 bytes written.
        self.assertEqual((value["type"], value["hex"]),
                         ("REG_SZ", (STAMP + "\0").encode("utf-16-le").hex()))

    def assert_about(self, measured_ms, expected_ms, what):
        self.assertLessEqual(abs(measured_ms - expected_ms), TOLERANCE_MS,
                             f"{what}: {measured_ms} ms instead of about {expected_ms} ms")

    def shown_ms(self, report, status_id):
        (shown,) = [s["first_ms"] for s in report["status_texts"] if s["id"] == status_id]
        return shown

    def worker_start_ms(self, trace):
        """The window's thread arms the animation, runs the BIOS query and the image extraction,
        and starts the worker last: its next message comes as the worker begins."""
        (animate,) = trace.timers_with_id(IDT_ANIMATE)
        later = [r["ms"] for r in trace.received
                 if r["tid"] == animate["tid"] and r["order"] > animate["order"]]
        self.assertTrue(later, "the window's thread never returned to its messages")
        return later[0]

    def assert_window_timeline(self, report, window, trace):
        """From the confirmation to the worker's start: covered screen, 2000 ms, the first text,
        500 ms, the start timer."""
        covered_ms = next(s["ms"] for s in window["states"] if s["visible"] and
                          s["rect"][2] - s["rect"][0] > 640)
        self.assert_about(self.shown_ms(report, IDS_INITIALIZING) - covered_ms,
                          COVER_TO_INITIALIZING_MS, "the pause before IDS_INITIALIZING")
        (start,) = trace.timers_with_id(IDT_START)
        (fired,) = trace.handled(WM_TIMER, IDT_START)
        self.assertEqual(fired["tid"], start["tid"])
        self.assert_about(fired["ms"] - start["ms"], START_TIMER_MS, "IDT_START")

    def assert_worker_timeline(self, report, trace, decision_id):
        """The image found: IDS_LOADING 3000 ms after the worker's start, then 2000 ms to each
        of IDS_VERIFYING and the decision."""
        loading = self.shown_ms(report, IDS_LOADING)
        verifying = self.shown_ms(report, IDS_VERIFYING)
        self.assert_about(loading - self.worker_start_ms(trace), WORKER_TO_LOADING_MS,
                          "worker start to IDS_LOADING")
        self.assert_about(verifying - loading, STEP_MS, "IDS_LOADING to IDS_VERIFYING")
        self.assert_about(self.shown_ms(report, decision_id) - verifying, STEP_MS,
                          "IDS_VERIFYING to the decision")

    def assert_finished_with_exit_timer(self, report, trace, last_id, pause_ms):
        """The worker arms IDT_EXIT on the window and then posts WM_UPDATE_FINISH, once each,
        after the last text's pause."""
        main_tid = trace.timers_with_id(IDT_START)[0]["tid"]
        (exit_timer,) = trace.timers_with_id(IDT_EXIT)
        (finish,) = trace.posted(WM_UPDATE_FINISH)
        self.assertNotEqual(exit_timer["tid"], main_tid, "IDT_EXIT armed by the window itself")
        self.assertEqual(finish["tid"], exit_timer["tid"])
        self.assertEqual(exit_timer["timeout"], EXIT_TIMER_MS)
        self.assertLess(exit_timer["order"], finish["order"], "WM_UPDATE_FINISH before IDT_EXIT")
        self.assert_about(finish["ms"] - self.shown_ms(report, last_id), pause_ms,
                          "the pause after the last text")
        self.assertTrue(trace.handled(WM_UPDATE_FINISH), "WM_UPDATE_FINISH never handled")


class VersionOutcomes(UpdateRunCase):
    def test_each_running_version_gets_its_verdict_and_no_flash(self):
        cases = [
            # running BIOS, the decision, its pause
            ("MIRTSF13", IDS_SAME_VERSION, VERDICT_PAUSE_MS),
            ("MIRTSF14", IDS_IMAGE_OLDER, VERDICT_PAUSE_MS),
            ("ABCDEF13", IDS_CANNOT_UPDATE, CANNOT_UPDATE_PAUSE_MS),  # another platform
            ("MIRT", IDS_CANNOT_UPDATE, CANNOT_UPDATE_PAUSE_MS),  # shorter than the prefix
            ("", IDS_CANNOT_UPDATE, CANNOT_UPDATE_PAUSE_MS),
        ]
        for bios, decision, pause_ms in cases:
            with self.subTest(bios=bios):
                report, window, trace = self.run_update(
                    bios_version=bios, env={"BIOSUPDATE_STUB_RECORD": STUB_RECORD})
                self.assert_status_texts(report, [IDS_LOADING, IDS_VERIFYING, decision])
                self.assert_stamped(report)
                self.assertIsNone(report["stub_record"], "the flash utility ran")
                self.assertEqual(trace.process_starts, [])
                self.assert_finished_with_exit_timer(report, trace, decision, pause_ms)
                self.assert_window_timeline(report, window, trace)
                self.assert_worker_timeline(report, trace, decision)
                # No backup was made, so the clean-up takes the folder too.
                self.assert_work_folder_entries(report, [])


if __name__ == "__main__":
    unittest.main()
