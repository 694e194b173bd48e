#!/usr/bin/env python3
"""Prints the essentials of an end-to-end run report (tools/e2e) for a reader."""
import json
import sys


def main(path):
    with open(path, encoding="utf-8") as handle:
        report = json.load(handle)
    ended = report["ended"]
    print(f"Program ended: {ended['how']}, exit code {ended['exit_code']}, "
          f"after {ended['after_ms'] / 1000:.1f} s")
    for box in report["message_boxes"]:
        text = box["text"].replace("\n", " / ")
        print(f"Message box at {box['appeared_ms'] / 1000:5.1f} s: [{box['caption']}] {text} "
              f"-> {box['pressed']}")
    for status in report["status_texts"]:
        print(f"Status text at {status['first_ms'] / 1000:5.1f} s: {status['text']!r}")
    record = report.get("stub_record")
    print("Flash utility record:" if record else "Flash utility: not started")
    for line in (record or "").splitlines():
        print(f"    {line}")
    stamp = report["registry"]["version"]
    print(f"Registry stamp: {stamp['string'] if stamp else None}")
    folder = report["work_folder"]
    left = ", ".join(sorted(folder["entries"])) or "empty" if folder["exists"] else "removed"
    print(f"Work folder {folder['path']}: {left}")
    for shot in report["screenshots"]:
        print(f"Screenshot ({shot['at']}): {shot['path']}")
    for error in report["errors"]:
        print(f"Runner error: {error}")
    return 1 if report["errors"] or ended["how"] != "exited" else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
