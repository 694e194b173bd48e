"""The bench's expected-outcome rules: version readings, the decision table, the power gate, the
clean-up mode's argument forms and the outcome of a machine, row by row."""

import unittest

from tools.bench import rules
from tools.bench.rules import (IDS_CANNOT_UPDATE as OTHER, IDS_IMAGE_OLDER as OLDER,
                               IDS_SAME_VERSION as SAME, IDS_UPDATING as FLASH)

TARGET = {"platform": "MIRTS", "running": 0xF12, "image": "mirtsf13.imc",
          "image_platform": "MIRTS", "number": 0xF13, "image_size": 7,
          "stamp": "1.1508.0312.01", "payload": ["SWinFlash.exe", "mirtsf13.imc"]}
BASELINE = {"bios_version": "MIRTSF12", "ac": "on", "battery": 100, "locale": "en",
            "windows": None, "screen": [1024, 768], "program_files": None, "answer": "yes",
            "args": None, "second_instance": False, "stale_image": None,
            "utility_delay_ms": None, "utility_box_ms": None}
FLASH_TEXTS = [138, 131, 132, 135, 137]


class Readings(unittest.TestCase):
    def test_names_read_as_prefix_and_hexadecimal_number(self):
        for text, reading in [("mirtsf13.imc", ("MIRTS", 0xF13)),
                              ("QX7RWB204.IMC", ("QX7RW", 0xB204)),
                              ("ABCDE123456789.bin", ("ABCDE", 0x12345678)),  # 8 characters
                              ("ABCDE-0x1F", ("ABCDE", -0x1F)),
                              ("ABCDEFFFFFFFF", ("ABCDE", 2 ** 31 - 1)),  # saturates
                              ("ABCDE-FFFFFFFF", ("ABCDE", -0xFFFFFFF)),  # the sign is one of 8
                              ("ABCDE0xZ", ("ABCDE", 0)),
                              ("MIR", ("MIR", 0)), ("", ("", 0))]:
            self.assertEqual(rules.read_version(text), reading, text)


class DecisionTable(unittest.TestCase):
    def test_running_versions_against_the_image_mirtsf13(self):
        for bios, verdict in [("MIRTSF12", FLASH), ("MIRTSF13", SAME), ("MIRTSF14", OLDER),
                              ("mirtsf12", FLASH), ("MIRTSF13A", OLDER), ("MIRTS F13", SAME),
                              ("MIRTS", FLASH), ("MIRTSXYZ", FLASH), ("MIRTS000000F13", FLASH),
                              ("MIRTS00000F13", SAME), ("ABCDEF12", OTHER), ("MIRT", OTHER),
                              ("", OTHER), ("MIR TSF12", OTHER), ("MIRTZF12", OTHER)]:
            self.assertEqual(rules.decide(bios, "MIRTS", 0xF13), verdict, bios)


class PowerGate(unittest.TestCase):
    def test_mains_and_charge(self):
        for ac, battery, refusal in [("on", 100, None), ("on", 20, None), ("on", None, None),
                                     ("on", 19, rules.IDS_LOW_BATTERY),
                                     ("on", 0, rules.IDS_LOW_BATTERY),
                                     ("unknown", 19, rules.IDS_LOW_BATTERY),
                                     ("unknown", None, None), ("off", 100, rules.IDS_NO_AC),
                                     ("off", 5, rules.IDS_NO_AC)]:
            self.assertEqual(rules.power_gate(ac, battery), refusal, (ac, battery))


class CommandLine(unittest.TestCase):
    def test_the_clean_up_mode_takes_the_number_1_in_any_form_scanf_reads(self):
        off_mains = dict(BASELINE, ac="off", battery=5)
        for args, clean_up in [("1", True), (" 1", True), ("+1", True), ("01", True),
                               ("1 x", True), ("\t 0001", True), ("1x", True), ("0", False),
                               ("2", False), ("-1", False), ("10", False), ("x1", False),
                               ("+ 1", False), ("+-1", False), ("", False), (None, False)]:
            outcome = rules.expect(dict(off_mains, args=args), TARGET)["outcome"]
            self.assertEqual(outcome, "clean-up" if clean_up else "no mains", repr(args))


class Outcomes(unittest.TestCase):
    def test_each_machine_gets_its_boxes_texts_and_stamp(self):
        question, power = rules.QUESTION_CAPTION, rules.POWER_CAPTION
        for changes, outcome, boxes, status in [
                ({}, "flash", [(question, 139, "YES")], [138, 131, 132, 135, 137]),
                ({"bios_version": "MIRTSF13"}, "same version", [(question, 139, "YES")],
                 [138, 131, 132, 142]),
                ({"bios_version": "ZZZZZF12"}, "cannot update", [(question, 139, "YES")],
                 [138, 131, 132, 133]),
                ({"args": "1", "ac": "off", "battery": 5}, "clean-up", [], []),
                ({"ac": "off", "battery": 5}, "no mains", [(power, 140, "OK")], []),
                ({"battery": 19}, "low battery", [(power, 136, "OK")], []),
                ({"answer": "no"}, "declined", [(question, 139, "NO")], []),
                ({"answer": "none", "second_instance": True}, "second instance ignored",
                 [(question, 139, None)], [])]:
            expected = rules.expect(dict(BASELINE, **changes), TARGET)
            self.assertEqual(expected["outcome"], outcome, changes)
            self.assertEqual([(b["caption"], b["text_id"], b["pressed"])
                              for b in expected["boxes"]], boxes, changes)
            self.assertEqual([s["id"] for s in expected["status"]], status, changes)
            # The worker stamps on every path it takes, and only then.
            self.assertEqual(expected["stamp"], TARGET["stamp"] if status else None, changes)
            self.assertEqual(expected["left"], {} if outcome == "flash" else None, changes)

    def test_the_flash_runs_the_quoted_utility_in_the_work_folder(self):
        folder = r"C:\Program Files (x86) Tools\BIOSUPDATE"
        expected = rules.expect(dict(BASELINE, program_files=folder[:-11]), TARGET)
        self.assertEqual(expected["utility"]["command_line"],
                         f'"{folder}\\SWinFlash.exe" /BU=BIOS.bak /C /MFG /P /S /V /mode=2 '
                         'MIRTSF13.IMC')
        self.assertEqual(expected["utility"]["folder"], folder)
        self.assertIsNone(rules.expect(dict(BASELINE, answer="no"), TARGET)["utility"])


class MoreOfTheWorld(unittest.TestCase):
    def test_the_status_screen_centres_its_frame_and_nothing_else_changes(self):
        # (changes, the frame's origin, its picture and band top; None: no status screen)
        for changes, screen in [({"windows": "xp"}, ([192, 144], 135, 310)),
                                ({"screen": [800, 600]}, ([80, 60], 135, 310)),
                                ({"screen": [1920, 1080], "locale": "ko"}, ([640, 300], 134, 300)),
                                ({"screen": [3840, 2160], "bios_version": "MIRTSF13"},
                                 ([1600, 840], 135, 310)), ({"answer": "no"}, None)]:
            seen = rules.expect(dict(BASELINE, **changes), TARGET)["screen"]
            self.assertEqual(seen and (seen["frame_at"], seen["picture"], seen["band_top"]),
                             screen, changes)
        self.assertEqual(rules.expect(dict(BASELINE, windows="7"), TARGET),
                         rules.expect(BASELINE, TARGET))

    def test_an_older_package_s_image_is_refused_where_the_utility_would_start_and_stays(self):
        refused = rules.expect(dict(BASELINE, stale_image="older bytes"), TARGET)
        self.assertEqual(([(s["id"], s["after_ms"]) for s in refused["status"]][-2:],
                          refused["shown_before_end_ms"], refused["left"], refused["utility"]),
                         ([(137, 4000), (133, 1000)], 3000, {"mirtsf13.imc": 11}, None))
        # On any other verdict the clean-up cannot remove it either.
        same = rules.expect(dict(BASELINE, stale_image="older bytes", bios_version="MIRTSF13"),
                            TARGET)
        self.assertEqual((same["outcome"], same["left"]), ("same version", {"mirtsf13.imc": 11}))

    def test_a_question_of_the_utility_shows_on_the_flash_path_only(self):
        roles = [[b["role"] for b in rules.expect(dict(BASELINE, utility_box_ms=2000, **changes),
                                                  TARGET)["boxes"]]
                 for changes in ({}, {"bios_version": "MIRTSF13"})]
        self.assertEqual(roles, [["first", "utility"], ["first"]])


if __name__ == "__main__":
    unittest.main()
