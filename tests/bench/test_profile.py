"""A notebook's profile turned into a bench machine: each value onto the runner's, and every
profile the runner could not reproduce refused with the reason, file by file."""

import copy
import json
import os
import tempfile
import unittest

from tools.bench import matrix, package, profile

# As profiler.exe writes it on an English Windows 10 notebook on mains.
ENGLISH = {
    "format": 1, "bios_version": "MIRTSF12",
    "power": {"ac_line_status": 1, "battery_flag": 8, "battery_life_percent": 100},
    "system_lcid": 0x409, "ansi_code_page": 1252, "program_files": "C:\\Program Files",
    "screen": {"width": 1920, "height": 1080},
    "windows": {"major": 6, "minor": 2, "build": 9200, "platform": 2, "service_pack": 0}}


def changed(**changes):
    """ENGLISH with fields replaced; a nested field as power__ac_line_status; DELETE removes."""
    result = copy.deepcopy(ENGLISH)
    for path, value in changes.items():
        *outer, name = path.split("__")
        place = result
        for key in outer:
            place = place[key]
        if value is DELETE:
            del place[name]
        else:
            place[name] = value
    return result


DELETE = object()
POWER = "power__"


def machine(profile_dict):
    return profile.machine_of(profile_dict, "profile-x", "x.json")


class Mapping(unittest.TestCase):
    def test_each_value_becomes_the_runner_s(self):
        rows = [  # (changes, the machine's values they give)
            ({}, {"bios_version": "MIRTSF12", "ac": "on", "battery": 100, "locale": "en",
                  "windows": "10", "screen": [1920, 1080], "program_files": None}),
            ({"system_lcid": 0x412, "ansi_code_page": 949, "program_files": "C:\\프로그램 파일"},
             {"locale": "ko", "program_files": "C:\\프로그램 파일"}),
            ({"program_files": "C:\\Programme Übersetzt"},
             {"locale": "en", "program_files": "C:\\Programme Übersetzt"}),
            ({POWER + "ac_line_status": 0, POWER + "battery_life_percent": 60},
             {"ac": "off", "battery": 60}),
            ({POWER + "ac_line_status": 255, POWER + "battery_life_percent": 255,
              POWER + "battery_flag": 128}, {"ac": "unknown", "battery": None}),
            ({POWER + "battery_life_percent": 0}, {"ac": "on", "battery": 0}),
            ({"windows__major": 5, "windows__minor": 1, "windows__service_pack": 3},
             {"windows": "xp"}),
            ({"windows__minor": 1}, {"windows": "7"}),
            ({"screen__width": 800, "screen__height": 600}, {"screen": [800, 600]}),
            ({"bios_version": ' MIRTS\tF12 "BETA\\1" '},
             {"bios_version": ' MIRTS\tF12 "BETA\\1" '}),
        ]
        for changes, values in rows:
            with self.subTest(changes):
                got = machine(changed(**changes))
                self.assertEqual({k: got[k] for k in values}, values)
                self.assertEqual((got["name"], got["group"], got["answer"], got["args"]),
                                 ("profile-x", "profile", "yes", None))

    def test_what_the_runner_cannot_reproduce_is_refused_with_the_reason(self):
        rows = [  # (changes, words of the refusal)
            ({"format": 2}, "format 2 is unknown"),
            ({"format": "1"}, "'format' is '1', not a whole number"),
            ({"system_lcid": 0x407}, "system locale 0x407 with code page 1252 cannot"),
            ({"ansi_code_page": 949}, "system locale 0x409 with code page 949 cannot"),
            ({"system_lcid": True}, "'system_lcid' is True, not a whole number"),
            ({POWER + "ac_line_status": 2}, "AC line status 2 cannot be reproduced"),
            ({POWER + "battery_life_percent": 101}, "battery life 101% cannot"),
            ({"power": None}, "'power' is None, not an object"),
            ({"windows__minor": 0}, "Windows 6.0 (build 9200, platform 2) cannot"),
            ({"windows__major": 10, "windows__minor": 0}, "Windows 10.0 (build 9200"),
            ({"windows__platform": 1}, "platform 1) cannot"),
            ({"screen__width": 5120, "screen__height": 2880}, "the screen 5120x2880 cannot"),
            ({"screen__width": 319}, "the screen 319x1080 is smaller"),
            ({"screen__height": 479}, "the screen 1920x479 is smaller than the status screen's"),
            ({"program_files": None}, "named no Program Files folder"),
            ({"program_files": "D:\\Apps"}, "folder 'D:\\\\Apps' cannot be reproduced"),
            ({"program_files": "C:\\???"}, "no folder name holds '?'"),
            ({"program_files": "C:\\프로그램"}, "holds '프', which code page 1252 lacks"),
            ({"bios_version": "MIRTS\u00c9F12"}, "the BIOS version 'MIRTSÉF12' cannot"),
            ({"bios_version": "MIRTS\nF12"}, "one line of ASCII text"),
        ] + [({name: DELETE}, f"the field '{name}' is missing") for name in ENGLISH] + [
            ({POWER + name: DELETE}, f"the field 'power.{name}' is missing")
            for name in ENGLISH["power"]]
        for changes, words in rows:
            with self.subTest(changes):
                with self.assertRaises(profile.ProfileError) as caught:
                    machine(changed(**changes))
                self.assertIn(words, str(caught.exception))


class Files(unittest.TestCase):
    def test_each_file_is_a_machine_named_after_it_and_a_bad_one_is_named(self):
        with tempfile.TemporaryDirectory() as folder:
            def write(name, text):
                path = os.path.join(folder, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as handle:
                    handle.write(text if isinstance(text, bytes) else text.encode("utf-8"))
                return path

            good = write("t480.json", json.dumps(ENGLISH, ensure_ascii=False))
            other = write("x13 Korean.json", json.dumps(changed(system_lcid=0x412,
                                                                ansi_code_page=949)))
            self.assertEqual([(m["name"], m["locale"]) for m in profile.machines([good, other])],
                             [("profile-t480", "en"), ("profile-x13 Korean", "ko")])
            self.assertIn("t480.json: BIOS 'MIRTSF12', on mains, 100%, en, Windows 10, "
                          "1920x1080, C:\\Program Files", profile.machines([good])[0]["title"])
            rows = [  # (files, words of the refusal)
                ([write("cut.json", '{"format": 1, "bios')], "cut.json: not a readable JSON"),
                ([write("list.json", "[1]")], "list.json: a profile is a JSON object"),
                ([os.path.join(folder, "gone.json")], "gone.json: not a readable JSON profile"),
                ([write("cp1252.json", b'{"format": 1, "bios_version": "\xc9"}')],
                 "cp1252.json: not a readable JSON profile"),
                ([good, write("again/t480.json", "{}")],
                 "again/t480.json: another machine is named profile-t480 already"),
            ]
            for paths, words in rows:
                with self.subTest(paths):
                    with self.assertRaises(profile.ProfileError) as caught:
                        profile.machines(paths)
                    self.assertIn(words, str(caught.exception))


class Selection(unittest.TestCase):
    def test_the_quick_set_keeps_every_profile_and_only_narrows_them_too(self):
        with open(os.path.join(os.path.dirname(__file__), "default.package.json")) as handle:
            target = package.target(json.load(handle))
        extra = [profile.machine_of(ENGLISH, name, "x.json") for name in ("profile-a", "profile-b")]
        names = [[m["name"] for m in matrix.select(target, quick, only, extra)]
                 for quick, only in ((True, None), (False, "profile-*"), (True, "*-b,baseline"))]
        self.assertEqual(names[0], [m["name"] for m in matrix.quick(target)] +
                         ["profile-a", "profile-b"])
        self.assertEqual(names[1:], [["profile-a", "profile-b"], ["baseline", "profile-b"]])


if __name__ == "__main__":
    unittest.main()
