"""What the start-up tests share: running the product on a machine, the program's exact texts,
and a work folder left over from an interrupted run."""

import os
import unittest

import machine

WORK_FOLDER = r"C:\Program Files\BIOSUPDATE"
AUTOSTART_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
AUTOSTART_COMMAND = r"C:\Tools\BIOSUpdate.exe 1"
# The files the clean-up removes, in its order.
LISTED_FILES = ["SWinFlash.exe", "mfc42.dll", "msvcp60.dll", "msvcrt.dll", "PHLASH.INI",
                "PhlashLc.dll", "Phlash9X.vxd", "PhlashNT.sys", "WINPHLASH.GID", "PHLASH.txt",
                "mirtsf13.imc"]
POWER_CAPTION = "BIOS Update"
QUESTION_CAPTION = "BIOS update"
TEXTS = {
    "en": {
        "no_ac": "Connect AC adapter and recharge Battery above 20% before BIOS update.",
        "low_battery": "Connect AC adapter and recharge Battery above 20% before execute "
                       "intelligent update program",
        "confirm": "You must close all the application now since the system will restart after "
                   "BIOS update is completed.\nProceed BIOS update now?",
    },
    "ko": {
        "no_ac": "전원 코드를 연결한 상태에서 배터리양 20% 이상 상태에서 다시 BIOS 업데이트를 "
                 "실행 하세요",
        "low_battery": "전원 코드를 연결후 배터리양 20% 이상 충전후 BIOS 업데이트를 실행 하세요.",
        "confirm": "BIOS 업데이트 후 바로 시스템이 재시작되므로 작업하시는 모든 프로그램을 "
                   "종료하셔야 합니다.\n지금 바로 BIOS 업데이트를 하시겠습니까?",
    },
}


def leftover_files(*extra_names):
    """A work folder as an interrupted run leaves it: every listed file, plus extra ones."""
    names = LISTED_FILES + list(extra_names)
    return {f"{WORK_FOLDER}\\{name}": f"left over: {name}\r\n" for name in names}


def autostart_value():
    return [(AUTOSTART_KEY, "BIOSUpdate", AUTOSTART_COMMAND)]


class ProductTestCase(unittest.TestCase):
    """Runs the product named by BIOSUPDATE_EXE; a missing product fails every test."""

    def setUp(self):
        exe = os.environ.get("BIOSUPDATE_EXE", "")
        if not os.path.isfile(exe):
            self.fail(f"BIOSUpdate.exe is missing (BIOSUPDATE_EXE={exe!r}): build the product")
        self.exe = exe

    def run_machine(self, **options):
        options.setdefault("timeout", 40)
        report = machine.run_machine(self.exe, **options)
        self.assertEqual(report.errors, [], "the runner saw problems")
        return report

    def assert_exited_by_itself(self, report):
        self.assertEqual(report.ended["how"], "exited", report.ended)

    def assert_shows_nothing(self, report):
        self.assertEqual(report.message_boxes, [])
        self.assertEqual(report.windows(visible_only=True), [])
        self.assertEqual(report.status_ids, [])

    def assert_asked(self, report, locale="en"):
        """The confirmation question was shown exactly as it should be, and nothing else."""
        (box,) = report.message_boxes
        self.assertEqual(box["caption"], QUESTION_CAPTION)
        self.assertEqual(box["text"], TEXTS[locale]["confirm"])
        self.assertEqual(box["buttons"], ["YES", "NO"])
        self.assertEqual(box["default"], "YES")
        self.assertFalse(box["icon"])

    def assert_refused(self, report, locale, text_key):
        """One power message, exactly as it should be; no question, no status screen."""
        (box,) = report.message_boxes
        self.assertEqual(box["caption"], POWER_CAPTION)
        self.assertEqual(box["text"], TEXTS[locale][text_key])
        self.assertEqual(box["buttons"], ["OK"])
        self.assertFalse(box["icon"])
        self.assertEqual(report.fullscreen_windows(), [])
        self.assertEqual(report.status_ids, [])

    def assert_work_folder_entries(self, report, names):
        folder = report.work_folder
        if not names:
            self.assertFalse(folder["exists"], folder)
            return
        self.assertTrue(folder["exists"])
        self.assertEqual(sorted(folder["entries"]), sorted(names))

    def assert_autostart(self, report, present):
        value = report.registry["autostart"]
        if present:
            self.assertIsNotNone(value, "the autostart value is gone")
            self.assertEqual((value["type"], value["string"]), ("REG_SZ", AUTOSTART_COMMAND))
        else:
            self.assertIsNone(value, "the autostart value is still there")
