"""What a run showed and did, read from the runner's report into the shape of an expected outcome
(rules.expect), and the differences between the two as readable sentences."""

from ..e2e import stub_record, wine_trace
from . import rules

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


def _utility(start, record):
    """One start of the flash utility: its command line as the program passed it, when it
    started and ended (Wine's trace), and what the stand-in recorded of itself, when it is the
    stand-in that ran."""
    run = {"command_line": start["command_line"], "pid": start["pid"], "started_ms": start["ms"],
           "ended_ms": start["ended_ms"], "ran_ms": None if start["ended_ms"] is None else
           start["ended_ms"] - start["ms"], "recorded": record is not None}
    if record is None:
        return run

    def one(key):
        values = record.get(key, [])
        return values[0] if len(values) == 1 else (values or None)

    size = one("image-size")
    return dict(run, folder=one("current-folder"), image=one("image"),
                image_size=int(size) if isinstance(size, str) else size, backup=one("backup"),
                files=sorted(record.get("file", [])))


def _utility_starts(report):
    """The programs the watched program started, each with its end when it ended by itself, and
    with the stand-in's records where it ran."""
    pid = report["ended"]["pid"]
    starts, ends = [], {}
    for entry in report["wine_trace"] or []:
        if entry["pid"] == pid and (start := wine_trace.process_start(entry["text"])):
            starts.append({"command_line": start[1], "ms": entry["ms"], "tid": entry["tid"],
                           "pid": None})
        elif entry["pid"] == pid and (child := wine_trace.started_pid(entry["text"])):
            # The report of the start follows its request on the same thread.
            waiting = [s for s in starts if s["tid"] == entry["tid"] and s["pid"] is None]
            if waiting:
                waiting[-1]["pid"] = child
        elif wine_trace.process_ends(entry["text"]):
            ends.setdefault(entry["pid"], entry["ms"])
    records = stub_record.parse(report["stub_record"])
    return [_utility(dict(start, ended_ms=ends.get(start["pid"])),
                     records[i] if i < len(records) else None)
            for i, start in enumerate(starts)]


def observe(report):
    """The observed outcome of a runner report (a dict), with times and the texts themselves."""
    strings = report["strings"]
    boxes = [{"role": b["role"], "caption": b["caption"], "text": b["text"],
              "text_id": _text_id(b["text"], strings), "buttons": b["buttons"],
              "pressed": b["pressed"], "appeared_ms": b["appeared_ms"],
              "pressed_ms": b["pressed_ms"], "on_top": b.get("on_top"),
              "foreground": b.get("foreground")} for b in report["message_boxes"]]
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
    answer = f"answered {box['pressed']}" if box["pressed"] else "left open"
    if box["role"] == "utility":
        # The utility's own words are not the program's; where its box showed is.
        where = [what if box.get(key) else "not " + what
                 for key, what in [("on_top", "on top"), ("foreground", "in the foreground")]]
        return (f"the flash utility's \"{box['caption']}\" box [{'/'.join(box['buttons'])}] "
                f"{answer}, {' and '.join(where)} then")
    who = "" if box["role"] == "first" else f"{box['role']} instance: "
    text = text_name(box["text_id"], strings, box.get("text"))
    if box["text_id"] is None:
        text += " (not a text of the program)"
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


def _utility_differences(expected, observed, tolerance_ms):
    runs = observed["utility"]
    if expected is None:
        return ["the flash utility ran, though nothing was to be flashed"] if runs else []
    if not runs:
        return ["the flash utility did not run"]
    if len(runs) > 1:
        return [f"the flash utility ran {len(runs)} times instead of once"]
    (run,) = runs
    if run["pid"] is None:
        return ["the flash utility failed to start"]
    found = []
    # A vendor's own utility records nothing of itself: then its command line is all there is.
    recorded = [("folder", "current folder"), ("image", "image argument"),
                ("image_size", "image size"), ("backup", "backup file"),
                ("files", "files beside it")] if run["recorded"] else []
    for key, what in [("command_line", "command line")] + recorded:
        if run[key] != expected[key]:
            found.append(f"the flash utility's {what}: expected {expected[key]!r}, "
                         f"saw {run[key]!r}")
    return found + _utility_times(expected, observed, run, tolerance_ms)


def _utility_times(expected, observed, run, tolerance_ms):
    """The utility's start after the last text, and the run's end after the utility's own end,
    however long it ran."""
    found = []
    shown = [s["ms"] for s in observed["status"] if s["id"] == rules.IDS_UPDATING]
    if shown and abs(run["started_ms"] - shown[0] - expected["after_ms"]) > tolerance_ms:
        found.append(f"the flash utility started {run['started_ms'] - shown[0]} ms after "
                     f"{text_name(rules.IDS_UPDATING, observed['strings'])}, expected about "
                     f"{expected['after_ms']} ms")
    if run["ended_ms"] is None:
        found.append("the flash utility did not end by itself (it was ended from outside, or "
                     "ran until the run was stopped)")
    elif observed["end_ms"] is not None and abs(observed["end_ms"] - run["ended_ms"] -
                                                expected["run_ends_after_ms"]) > tolerance_ms:
        found.append(f"the run ended {observed['end_ms'] - run['ended_ms']} ms after the flash "
                     f"utility ({run['ran_ms']} ms long), expected about "
                     f"{expected['run_ends_after_ms']} ms")
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
    found += _utility_differences(expected["utility"], observed, tolerance_ms)
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
