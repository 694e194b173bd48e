"""Runs BIOSUpdate.exe under Wine on a simulated machine and prints what happened as JSON. Must
run as root (it mounts a fake /sys/class in a private mount namespace).

Example (as root, from the repository's root):
  python3 -m tools.e2e build/product/BIOSUpdate.exe \\
      --driver build/tests/tools/uidriver/uidriver.exe --ac off --battery 100 --answer no
See tools/e2e/README.md for every option and the report's format.

Exit status: 0 when the run ended and its report is printed (whatever the program did), 2 on bad
usage or a run that failed (no report)."""

import argparse
import dataclasses
import json
import sys

from .. import name_value
from . import runner


def _registry(text):
    # KEY\NAME=sz:TEXT | dword:N | hex:0102 | delete
    path, sep, data = text.partition("=")
    key, _, name = path.rpartition("\\")
    kind, _, value = data.partition(":")
    if not sep or not key:
        raise argparse.ArgumentTypeError(f"expected KEY\\NAME=KIND:DATA, not {text!r}")
    if kind == "delete":
        return key, name, None
    readers = {"sz": str, "dword": lambda v: int(v, 0), "hex": bytes.fromhex}
    try:
        return key, name, readers[kind](value)
    except (KeyError, ValueError) as error:
        raise argparse.ArgumentTypeError(f"bad registry data {data!r}") from error


def _battery(text):
    if text == "none":
        return None
    if not text.isdigit():
        raise argparse.ArgumentTypeError(f"expected a percent or 'none', not {text!r}")
    return int(text)


def _json_object(text):
    try:
        value = json.loads(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(f"expected a JSON object, not {text!r}") from error
    if not isinstance(value, dict):
        raise argparse.ArgumentTypeError(f"expected a JSON object, not {text!r}")
    return value


def _screen(text):
    width, x, height = text.partition("x")
    if not (x and width.isdigit() and height.isdigit()):
        raise argparse.ArgumentTypeError(f"expected WIDTHxHEIGHT, not {text!r}")
    return int(width), int(height)


def _screenshot(text):
    return int(text) if text.isdigit() else text


def parse_arguments(argv):
    p = argparse.ArgumentParser(prog="python3 -m tools.e2e", description=__doc__,
                                formatter_class=argparse.RawTextHelpFormatter)
    p.add_argument("exe", nargs="?", help="BIOSUpdate.exe to run")
    p.add_argument("--driver", help="uidriver.exe (default: $BIOSUPDATE_UIDRIVER)")
    p.add_argument("--cache", help="folder for the template prefix and the runs "
                   "(default: $BIOSUPDATE_E2E_CACHE or ~/.cache/biosupdate-e2e)")
    p.add_argument("--prepare-only", action="store_true",
                   help="only create the template prefix, then exit")
    p.add_argument("--ac", choices=["on", "off", "unknown"], default="on")
    p.add_argument("--battery", type=_battery, default=100,
                   help="percent 0..100, or 'none' for no battery")
    p.add_argument("--bios-version", default="MIRTSF12")
    p.add_argument("--locale", choices=["en", "ko"], default="en")
    p.add_argument("--windows", choices=sorted(runner.WINDOWS_VERSIONS),
                   help="the Windows version shown to the program (default: Wine's own)")
    p.add_argument("--program-files", help=r"another Program Files folder, e.g. D:\Apps")
    p.add_argument("--program-files-kib", type=int, metavar="KIB",
                   help="a disk of this size (tmpfs) at --program-files")
    p.add_argument("--answer", choices=["yes", "no", "none"], default="yes")
    p.add_argument("--answer-delay-ms", type=int, default=250)
    p.add_argument("--other-boxes", choices=["ok", "leave"], default="ok")
    p.add_argument("--args", help="the program's argument text (default: none at all)")
    p.add_argument("--file", action="append", type=name_value, default=[], dest="files",
                   metavar=r"C:\PATH=TEXT", help="plant a file with this content")
    p.add_argument("--dir", action="append", default=[], metavar=r"C:\PATH", dest="dirs",
                   help="plant a directory")
    p.add_argument("--reg", action="append", type=_registry, default=[], dest="registry",
                   metavar=r"KEY\NAME=KIND:DATA",
                   help="plant a registry value: sz:TEXT, dword:N, hex:BYTES or delete")
    p.add_argument("--env", action="append", type=name_value, default=[], metavar="NAME=VALUE",
                   help="environment variable for the program")
    p.add_argument("--second-instance", action="append", type=_json_object, default=[],
                   dest="second_instances", metavar="JSON", help='a further start, e.g. '
                   '\'{"at": "status:137+2000", "args": null}\' or \'{"at": "question", '
                   '"args": "1", "stop_first_after": true}\'')
    p.add_argument("--message", action="append", type=_json_object, default=[], metavar="JSON",
                   dest="messages",
                   help='a message for the status window, e.g. \'{"during": 137, '
                   '"after_ms": 3000, "every_ms": 5000, "msg": 536, "wparam": 0}\'')
    p.add_argument("--start", action="append", type=_json_object, default=[], metavar="JSON",
                   dest="starts",
                   help='one of several starts in one prefix, e.g. \'{"kill_at": '
                   '"status:131+500"}\' or \'{"args": "1"}\'')
    p.add_argument("--screenshot", action="append", type=_screenshot, default=[],
                   dest="screenshots",
                   metavar="MS|status:ID[+MS]|msgbox[:CAPTION]")
    p.add_argument("--screenshot-dir")
    p.add_argument("--collect", action="append", default=[], metavar=r"C:\PATH",
                   help="read this file into the report after the run")
    p.add_argument("--wine-debug", metavar="CHANNELS",
                   help="Wine's trace of the program into the report, e.g. +msg")
    p.add_argument("--close-during-status", type=int, metavar="ID",
                   help="post close requests to the status window while it shows this text")
    p.add_argument("--timeout", type=float, default=60, help="seconds before everything is killed")
    p.add_argument("--screen", type=_screen, default=(1024, 768), metavar="WIDTHxHEIGHT")
    p.add_argument("--keep", action="store_true", help="keep the run's prefix for inspection")
    return p.parse_args(argv)


def main(argv):
    a = parse_arguments(argv)
    if not a.exe and not a.prepare_only:
        print("e2e: name the program to run (or give --prepare-only)", file=sys.stderr)
        return 2
    try:
        if a.prepare_only:
            print(runner.prepare_template(a.cache))
            return 0
        # Each option of the command line is a field of the run's options, of the same name.
        options = {f.name: getattr(a, f.name) for f in dataclasses.fields(runner.RunOptions)
                   if hasattr(a, f.name)}
        options.update(files=dict(a.files), env=dict(a.env), starts=a.starts or None)
        report = runner.run(runner.RunOptions(**options))
    except (runner.E2EError, ValueError) as error:
        print(f"e2e: {error}", file=sys.stderr)
        return 2
    print(report.to_json())
    return 0


sys.exit(main(sys.argv[1:]))
