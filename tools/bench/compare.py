"""What a run showed and did, read from the runner's report into the shape of an expected outcome
(rules.expect), and the differences between the two as readable sentences."""

from ..e2e import stub_record, wine_trace

# How far a gap between two sightings may stray before it counts as a difference, here and in the
# end-to-end tests: the driver polls every 30 ms and needs two sightings, repaints wait for the
# next 100 ms tick, and parallel runs compete for the cores.
TOLERANCE_MS = 1000


def text_name(text_id, strings, words=None):
    """A text of the program by its words in quotes: the words seen, else the program's own
    string of that id (as the runner reports its table); its id only when neither is known."""
    if words is None:
        words = (strings or {}).get(str(text_id))
    if words is None:
        return f"text {text_id}"
    return '"' + " ".join(words.split()) + '"'


def _text_id(text, strings):
    """The id of the program's own string with this text (the lowest of equal ones), or None."""
    ids = sorted(int(i) for i, s in strings.items() if s == text)
    return ids[0] if ids else None


def _utility(command_line, record):
    """One start of the flash utility: its command line as the program passed it (Wine's trace),
    and what the stand-in recorded of itself, when it is the stand-in that ran."""
    if record is None:
        return {"command_line": command_line, "recorded": False}

    def one(key):
        values = record.get(key, [])
        return values[0] if len(values) == 1 else (values or None)

    size = one("image-size")
    return {"command_line": command_line, "recorded": True, "folder": one("current-folder"),
            "image": one("image"), "image_size": int(size) if isinstance(size, str) else size,
            "backup": one("backup"), "files": sorted(record.get("file", []))}


def _utility_starts(report):
    """The programs the watched program started, with the stand-in's records where it ran."""
    pid = report["ended"]["pid"]
    starts = [wine_trace.process_start(e["text"]) for e in report["wine_trace"] or []
              if e["pid"] == pid]
    records = stub_record.parse(report["stub_record"])
    return [_utility(start[1], records[i] if i < len(records) else None)
            for i, start in enumerate(s for s in starts if s)]


def observe(report):
    """The observed outcome of a runner report (a dict), with times and the texts themselves."""
    strings = report["strings"]
    boxes = [{"role": b["role"], "caption": b["caption"], "text": b["text"],
              "text_id": _text_id(b["text"], strings), "buttons": b["buttons"],
              "pressed": b["pressed"], "appeared_ms": b["appeared_ms"],
              "pressed_ms": b["pressed_ms"]} for b in report["message_boxes"]]
    folder = report["work_folder"]
    version = report["registry"]["version"]
    second = None
    if report["second_instances"]:
        (start,) = report["second_instances"]
        silent = (start["exit_code"] is not None and start["terminated"] is None and
                  not any(w["role"] == "second" and any(s["visible"] for s in w["states"])
                          for w in report["windows"]))
        second = "exits silently" if silent else "did not exit silently"
    return {"boxes": boxes,
            "status": [{"id": s["id"], "text": s["text"], "ms": s["first_ms"]}
                       for s in report["status_texts"]],
            "timeline": report["status_timeline"],
            "utility": _utility_starts(report),
            "strings": strings,
            "stamp": version["string"] if version else None,
            "left": folder["entries"] if folder["exists"] else None,
            "work_folder": folder["path"],
            "autostart": report["registry"]["autostart"] is not None,
            "ended": report["ended"]["how"], "end_ms": report["ended"]["after_ms"],
            "second_instance": second, "errors": report["errors"]}


def _box_text(box, strings):
    who = "" if box["role"] == "first" else f"{box['role']} instance: "
    text = text_name(box["text_id"], strings, box.get("text"))
    if box["text_id"] is None:
        text += " (not a text of the program)"
    answer = f"answered {box['pressed']}" if box["pressed"] else "left open"
    return f"{who}\"{box['caption']}\" box {text} [{'/'.join(box['buttons'])}] {answer}"


def _boxes(expected, observed, strings):
    want = [_box_text(b, strings) for b in expected]
    seen = [_box_text(b, strings) for b in observed]
    if want == seen:
        return []
    return [f"message boxes: expected {'; '.join(want) or 'none'}, saw {'; '.join(seen) or 'none'}"]


def _answer_ms(observed):
    return next((b["pressed_ms"] for b in observed["boxes"] if b["pressed"] == "YES"), None)


def _status(expected, observed, tolerance_ms):
    strings = observed["strings"]
    want = [s["id"] for s in expected["status"]]
    seen = [s["id"] for s in observed["status"]]
    if want != seen:
        same = next((i for i, (w, s) in enumerate(zip(want, seen)) if w != s),
                    min(len(want), len(seen)))
        after = f" after {text_name(want[same - 1], strings)}" if same else ""
        expected_names = [text_name(i, strings) for i in want[same:]]
        seen_names = [text_name(s["id"], strings, s["text"]) for s in observed["status"][same:]]
        return [f"status texts{after}: expected {', '.join(expected_names) or 'no more'}, "
                f"saw {', '.join(seen_names) or 'no more'}"]
    found = []
    previous, before = _answer_ms(observed), "the answer"
    for step, shown in zip(expected["status"], observed["status"]):
        name = text_name(step["id"], strings, shown["text"])
        if previous is not None and abs(shown["ms"] - previous - step["after_ms"]) > tolerance_ms:
            found.append(f"{name} showed {shown['ms'] - previous} ms after {before}, "
                         f"expected about {step['after_ms']} ms")
        previous, before = shown["ms"], name
    end = observed["end_ms"]
    if seen and end is not None and expected["shown_before_end_ms"] is not None:
        if abs(end - previous - expected["shown_before_end_ms"]) > tolerance_ms:
            found.append(f"the run ended {end - previous} ms after {before}, expected about "
                         f"{expected['shown_before_end_ms']} ms")
    return found


def _utility_differences(expected, observed):
    runs = observed["utility"]
    if expected is None:
        return ["the flash utility ran, though nothing was to be flashed"] if runs else []
    if not runs:
        return ["the flash utility did not run"]
    if len(runs) > 1:
        return [f"the flash utility ran {len(runs)} times instead of once"]
    found = []
    # A vendor's own utility records nothing of itself: then its command line is all there is.
    recorded = [("folder", "current folder"), ("image", "image argument"),
                ("image_size", "image size"), ("backup", "backup file"),
                ("files", "files beside it")] if runs[0].get("recorded", True) else []
    for key, what in [("command_line", "command line")] + recorded:
        if runs[0][key] != expected[key]:
            found.append(f"the flash utility's {what}: expected {expected[key]!r}, "
                         f"saw {runs[0][key]!r}")
    return found


def _left_text(left):
    if left is None:
        return "no work folder"
    return "an empty work folder" if not left else "a work folder with " + ", ".join(sorted(left))


def differences(expected, observed, tolerance_ms=TOLERANCE_MS):
    """Sentences naming every way the observed outcome differs from the expected one."""
    found = [f"the runner reported: {e}" for e in observed["errors"]]
    if observed["ended"] != expected["ended"]:
        found.append(f"the run ended as {observed['ended']!r}, expected {expected['ended']!r}")
    found += _boxes(expected["boxes"], observed["boxes"], observed["strings"])
    found += _status(expected, observed, tolerance_ms)
    found += _utility_differences(expected["utility"], observed)
    if observed["stamp"] != expected["stamp"]:
        found.append(f"version stamp: expected {expected['stamp']!r}, found {observed['stamp']!r}")
    if observed["left"] != expected["left"]:
        found.append(f"left behind: expected {_left_text(expected['left'])}, found "
                     f"{_left_text(observed['left'])}")
    if observed["autostart"] != expected["autostart"]:
        found.append("the autostart value " + ("is still there" if observed["autostart"]
                                               else "is missing"))
    if observed["second_instance"] != expected["second_instance"]:
        found.append(f"second instance: expected {expected['second_instance'] or 'none'}, "
                     f"saw {observed['second_instance'] or 'none'}")
    return found
