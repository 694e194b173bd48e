"""What the end-to-end groups share: running the product on a simulated machine, reading Wine's
trace of it, and the checks that every update run and every status screen gets.

The program's texts are never spelled here: the runner reports the strings the driver loaded
from the executable (report["strings"]), and the driver names the status texts by them. Its
ids, captions, pauses and folders are the bench's rules."""

import os
import re
import unittest

from PIL import Image

from tools.bench import rules, running, status_screen
from tools.bench.compare import TOLERANCE_MS
from tools.bench.rules import IDS_APP_TITLE, IDS_CONFIRM, IDS_INITIALIZING, QUESTION_CAPTION
from tools.e2e import runner, session, wine_trace
from tools.package import lint

# The default package, which the product tree builds.
IMAGE_NAME, STAMP = "mirtsf13.imc", "1.1508.0312.01"
WORK_FOLDER = rules.work_folder(None)
AUTOSTART = running.LEFT_AUTOSTART
# The files the clean-up removes.
LISTED_FILES = rules.UTILITY_FILES + rules.UTILITY_LEFTOVERS + [IMAGE_NAME]
STUB_RECORD = session.STUB_RECORD
RECORD = {session.STUB_RECORD_VARIABLE: STUB_RECORD}
IDT_START, IDT_ANIMATE, IDT_EXIT = 0x800, 0x805, 0xF5F
WM_TIMER, WM_CLOSE, WM_UPDATE_FINISH, WM_UPDATE_QUIT = 0x113, 0x10, 0x806, 0x807
TRACE_CHANNELS = "+msg,+process"
FRAME_W = rules.FRAME_SIZE[0]
TRACK = rules.PROGRESS_TRACK

_SET_TIMER = re.compile(r"^NtUserSetTimer Added (0x[0-9a-f]+) ([0-9a-f]+) \S+ timeout (\d+)$")
_POST = re.compile(r"^NtUserPostMessage hwnd (0x[0-9a-f]+) msg ([0-9a-f]+) ")
_RECEIVED = re.compile(r"^peek_message got type \d+ msg ([0-9a-f]+) \(.*\) hwnd (\S+) "
                       r"wp ([0-9a-f]+) ")


def leftovers(folder=WORK_FOLDER, extra=()):
    """A work folder as an interrupted run leaves it: every listed file, and the extra ones."""
    return running.leftovers(folder, LISTED_FILES + list(extra))


class ProgramTrace:
    """Wine's +msg,+process trace of the program (Wine 8's wording): the timers armed on its
    status window, the messages posted to and received by it, and the processes it started."""

    def __init__(self, report, hwnd):
        self.timers, self.posts, self.received, self.starts = [], [], [], []
        lines = [e for e in report["wine_trace"] if e["pid"] == report.ended["pid"]]
        for order, entry in enumerate(lines):
            text, seen = entry["text"], {"order": order, "ms": entry["ms"], "tid": entry["tid"]}
            if (m := _SET_TIMER.match(text)) and m[1] == hwnd:
                self.timers.append(dict(seen, id=int(m[2], 16), timeout=int(m[3])))
            elif (m := _POST.match(text)) and m[1] == hwnd:
                self.posts.append(dict(seen, msg=int(m[2], 16)))
            elif (m := _RECEIVED.match(text)) and m[2] == hwnd:
                self.received.append(dict(seen, msg=int(m[1], 16), wp=int(m[3], 16)))
            elif started := wine_trace.process_start(text):
                self.starts.append(dict(seen, app=started[0], command_line=started[1]))

    def timers_with_id(self, timer_id):
        return [t for t in self.timers if t["id"] == timer_id]

    def posted(self, message):
        return [p for p in self.posts if p["msg"] == message]

    def handled(self, message, wp=None):
        return [r for r in self.received if r["msg"] == message and wp in (None, r["wp"])]


def picture_rows(path):
    """The rows of an image file as RGB bytes."""
    with Image.open(path) as picture:
        return status_screen.rows(picture)


def differing_columns(row, other):
    return [x for x in range(len(row) // 3) if row[3 * x:3 * x + 3] != other[3 * x:3 * x + 3]]


class ProductTestCase(unittest.TestCase):
    """Runs the product named by BIOSUPDATE_EXE; a missing product fails every test."""

    def setUp(self):
        self.exe = os.environ.get("BIOSUPDATE_EXE", "")
        if not os.path.isfile(self.exe):
            self.fail(f"BIOSUpdate.exe is missing (BIOSUPDATE_EXE={self.exe!r})")

    def product_file(self, *parts):
        """A file the product tree built the executable from (artwork, the default payload)."""
        return os.path.join(os.path.dirname(self.exe), *parts)

    def run_machine(self, ended="exited", **options):
        """A run that ended as expected ("exited" by itself, "timeout", "stopped")."""
        report = runner.run(runner.RunOptions(self.exe, **{"timeout": 40, **options}))
        self.assertEqual(report.errors, [], "the runner saw problems")
        self.assertEqual(report.ended["how"], ended, report.ended)
        return report

    def text(self, report, string_id):
        return report["strings"][str(string_id)]

    def assert_asked(self, report, answer):
        """The question, from the program's own string table, was the first box and was
        answered."""
        box = report.message_boxes[0]
        self.assertEqual((box["caption"], box["text"]),
                         (QUESTION_CAPTION, self.text(report, IDS_CONFIRM)))
        self.assertEqual((box["buttons"], box["default"], box["icon"], box["pressed"]),
                         (["YES", "NO"], "YES", False, answer))

    def assert_work_folder(self, report, names):
        """The work folder holds just these names; None: it is gone."""
        folder = report.work_folder
        self.assertEqual(sorted(folder["entries"]) if folder["exists"] else None,
                         None if names is None else sorted(names), folder)

    def assert_autostart(self, report, present):
        value = report.registry["autostart"]
        self.assertEqual(value and value["string"], AUTOSTART[2] if present else None)

    # --- update runs -----------------------------------------------------------------------

    def run_update(self, **options):
        """A Yes-answered run that ended by itself, its status window and Wine's trace."""
        report = self.run_machine(answer="yes", wine_debug=TRACE_CHANNELS,
                                  **{"timeout": 60, **options})
        self.assertEqual(report.exit_code, 0)
        self.assert_asked(report, "YES")
        (window,) = report.fullscreen_windows()
        self.assertEqual(window["states"][-1]["title"], self.text(report, IDS_APP_TITLE))
        trace = ProgramTrace(report, window["hwnd"])
        # Without these the trace is unreadable, and every absence checked in it is void.
        (start,) = trace.timers_with_id(IDT_START)
        (animate,) = trace.timers_with_id(IDT_ANIMATE)
        self.assertEqual((start["timeout"], animate["timeout"]),
                         (rules.START_TIMER, rules.ANIMATION_PERIOD))
        return report, window, trace

    def assert_statuses(self, report, worker_ids):
        self.assertEqual(report.status_ids, [IDS_INITIALIZING] + worker_ids)

    def assert_stamped(self, report):
        value = report.registry["version"]
        # The .reg file holds it as UTF-16: 14 characters and the NUL of the 15 bytes written.
        self.assertEqual(value and (value["type"], value["hex"]),
                         ("REG_SZ", (STAMP + "\0").encode("utf-16-le").hex()))

    def assert_about(self, measured_ms, expected_ms, what):
        self.assertLessEqual(abs(measured_ms - expected_ms), TOLERANCE_MS,
                             f"{what}: {measured_ms} ms instead of about {expected_ms} ms")

    def shown_ms(self, report, status_id):
        (shown,) = [s["first_ms"] for s in report["status_texts"] if s["id"] == status_id]
        return shown

    def worker_start_ms(self, trace):
        """The window's thread arms the animation, reads the BIOS version, writes the image and
        starts the worker last: its next message comes as the worker begins."""
        (animate,) = trace.timers_with_id(IDT_ANIMATE)
        later = [r["ms"] for r in trace.received
                 if r["tid"] == animate["tid"] and r["order"] > animate["order"]]
        self.assertTrue(later, "the window's thread never returned to its messages")
        return later[0]

    def assert_timeline(self, report, window, trace, verdict, image_found=True):
        """Covered screen, the window's pause, IDS_INITIALIZING; the start timer; then the
        worker's texts to the verdict, each after its pause (the first from the worker's
        start)."""
        covered = next(s["ms"] for s in window["states"]
                       if s["visible"] and s["rect"][2] - s["rect"][0] > FRAME_W)
        self.assert_about(self.shown_ms(report, IDS_INITIALIZING) - covered,
                          rules.ANSWER_TO_INITIALIZING, "the pause before IDS_INITIALIZING")
        (start,) = trace.timers_with_id(IDT_START)
        (fired,) = trace.handled(WM_TIMER, IDT_START)
        self.assertEqual(fired["tid"], start["tid"])
        self.assert_about(fired["ms"] - start["ms"], rules.START_TIMER, "IDT_START")
        before = self.worker_start_ms(trace)
        for status_id, gap_ms in rules.worker_steps(verdict, image_found)[0]:
            shown = self.shown_ms(report, status_id)
            self.assert_about(shown - before, gap_ms, f"the pause before {status_id}")
            before = shown

    def assert_ended_by_exit_timer(self, report, trace):
        """No flash: the worker arms IDT_EXIT and then posts WM_UPDATE_FINISH, once each, after
        the last text's pause; nothing is started, the stamp is written."""
        (exit_timer,) = trace.timers_with_id(IDT_EXIT)
        (finish,) = trace.posted(WM_UPDATE_FINISH)
        self.assertNotEqual(exit_timer["tid"], trace.timers_with_id(IDT_START)[0]["tid"],
                            "IDT_EXIT armed by the window itself")
        self.assertEqual((finish["tid"], exit_timer["timeout"]),
                         (exit_timer["tid"], rules.EXIT_TIMER))
        self.assertLess(exit_timer["order"], finish["order"], "WM_UPDATE_FINISH before IDT_EXIT")
        last = report["status_texts"][-1]
        self.assert_about(finish["ms"] - last["first_ms"], rules.SHOWN_BEFORE_END[last["id"]],
                          "the pause after the last text")
        self.assertTrue(trace.handled(WM_UPDATE_FINISH), "WM_UPDATE_FINISH never handled")
        self.assertEqual(([s["app"] for s in trace.starts], report["stub_record"]),
                         ([], None), "a program started")
        self.assert_stamped(report)

    def assert_status_screen(self, report, locale, at=None):
        """Every screenshot (or those taken at the moments `at`) shows the status screen as the
        bench expects it, the frame centred on a black cover of the whole screen and changed on
        the progress track by the block alone; at least one shows the block."""
        block_rows = picture_rows(self.product_file("res", "artwork", "progress.bmp"))
        block_colours = {row[i:i + 3] for row in block_rows for i in range(0, len(row), 3)}
        width, height = (int(v) for v in report["driver"]["screen"].split("x"))
        expected = rules.status_screen(locale, (width, height))
        frame = status_screen.picture(lint.Executable(self.exe).bitmaps[expected["picture"]])
        frame_rows = status_screen.rows(frame)
        left, top = expected["frame_at"]
        blocks_seen = 0
        shots = [s for s in report["screenshots"] if at is None or s["at"] in at]
        self.assertTrue(shots, "no screenshots")
        for shot in shots:
            self.assertTrue(shot["ok"], shot)
            with Image.open(shot["path"]) as picture:
                self.assertEqual(status_screen.faults(picture, frame, expected), [], shot["at"])
                rows = status_screen.rows(picture)
            block_columns = set()
            for fy in range(TRACK[1], TRACK[3] + 1):
                inside = rows[top + fy][3 * left:3 * (left + FRAME_W)]
                for fx in differing_columns(inside, frame_rows[fy]):
                    pixel = inside[3 * fx:3 * fx + 3]
                    self.assertTrue(TRACK[0] <= fx <= TRACK[2] and pixel in block_colours,
                                    f"frame pixel {fx},{fy} is {pixel.hex()} in {shot['at']}")
                    block_columns.add(fx)
            if block_columns:
                blocks_seen += 1
                self.assertLessEqual(max(block_columns) - min(block_columns), 21)
        self.assertGreater(blocks_seen, 0, "the progress block never showed")
