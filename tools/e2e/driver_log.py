"""Turns the event log of uidriver.exe into the report's sections.

Every line is "<ms>\\t<event>\\t<key>=<value>..." (see tools/uidriver/event_log.h). Times in the
result count from the start of the first instance of the program ("launch" role=first).
"""

WS_EX_TOOLWINDOW = 0x80
WS_EX_TOPMOST = 0x8
WS_EX_APPWINDOW = 0x40000
_UNESCAPES = {"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}


class DriverLogError(ValueError):
    pass


def unescape_value(value):
    out = []
    i = 0
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value) and value[i + 1] in _UNESCAPES:
            out.append(_UNESCAPES[value[i + 1]])
            i += 2
        else:
            out.append(value[i])
            i += 1
    return "".join(out)


def parse_lines(text):
    """Yields (ms, event, {key: value}) for every complete line."""
    for number, line in enumerate(text.split("\n"), 1):
        if not line:
            continue
        parts = line.split("\t")
        if len(parts) < 2 or not parts[0].lstrip("-").isdigit():
            raise DriverLogError(f"line {number} is not an event: {line[:60]!r}")
        fields = {}
        for part in parts[2:]:
            key, sep, value = part.partition("=")
            if not sep:
                raise DriverLogError(f"line {number}: field without '=': {part[:40]!r}")
            fields[key] = unescape_value(value)
        yield int(parts[0]), parts[1], fields


def _rect(text):
    values = [int(v) for v in text.split(",")]
    if len(values) != 4:
        raise DriverLogError(f"bad rectangle {text!r}")
    return values


def _window_state(ms, fields):
    exstyle = int(fields["exstyle"], 16)
    return {"ms": ms, "class": fields["class"], "title": fields["title"],
            "rect": _rect(fields["rect"]), "style": int(fields["style"], 16), "exstyle": exstyle,
            "visible": fields["visible"] == "1", "topmost": bool(exstyle & WS_EX_TOPMOST),
            "toolwindow": bool(exstyle & WS_EX_TOOLWINDOW),
            "appwindow": bool(exstyle & WS_EX_APPWINDOW)}


def summarize(text):
    """The report sections that the driver log yields."""
    events = list(parse_lines(text))
    launch_ms = next((ms for ms, event, f in events if event == "launch" and f["role"] == "first"),
                     0)
    result = {"driver": {}, "strings": {}, "instances": {}, "windows": [], "message_boxes": [],
              "status_timeline": [], "status_texts": [], "close_requests": [], "messages": [],
              "replacements": [], "errors": [],
              "launch_tick": None, "complete": False}
    windows = {}
    boxes = {}
    for ms, event, f in events:
        at = ms - launch_ms
        if event == "driver":
            result["driver"] = dict(f)
            if "tick" in f:
                # GetTickCount at the program's start: the clock of Wine's trace.
                result["launch_tick"] = int(f["tick"]) - ms + launch_ms
        elif event == "string":
            result["strings"][f["id"]] = f["text"]
        elif event == "launch":
            result["instances"][f["role"]] = {"pid": int(f["pid"]), "command": f["command"],
                                              "launched_ms": at, "exit_code": None,
                                              "exited_ms": None, "terminated": None}
        elif event == "launch_failed":
            result["instances"][f["role"]] = {"launch_error": f["error"], "launched_ms": None,
                                              "exit_code": None, "exited_ms": None,
                                              "terminated": None}
        elif event == "exit":
            instance = result["instances"][f["role"]]
            instance["exit_code"] = int(f["code"])
            instance["exited_ms"] = at
        elif event == "terminate":
            result["instances"][f["role"]]["terminated"] = f["reason"]
        elif event == "window":
            window = windows.get(f["hwnd"])
            if window is None or window["gone_ms"] is not None:
                window = {"role": f["role"], "hwnd": f["hwnd"], "first_ms": at, "gone_ms": None,
                          "states": []}
                windows[f["hwnd"]] = window
                result["windows"].append(window)
            window["states"].append(_window_state(at, f))
        elif event == "window_gone":
            if f["hwnd"] in windows:
                windows[f["hwnd"]]["gone_ms"] = at
        elif event == "msgbox":
            box = {"role": f["role"], "caption": f["caption"], "text": f["text"],
                   "buttons": [b for b in f["buttons"].split(",") if b],
                   "default": f["default"] or None, "icon": f["icon"] == "1",
                   "appeared_ms": at, "pressed": None, "pressed_ms": None, "closed_ms": None}
            boxes[f["hwnd"]] = box
            result["message_boxes"].append(box)
        elif event == "press":
            box = boxes[f["hwnd"]]
            box["pressed"] = f["button"] if f["ok"] == "1" else None
            box["pressed_ms"] = at
            # Whether, as it was pressed, it lay above every other window and had the keyboard.
            box["on_top"] = f.get("on_top") == "1"
            box["foreground"] = f.get("foreground") == "1"
        elif event == "msgbox_gone":
            boxes[f["hwnd"]]["closed_ms"] = at
        elif event == "status":
            entry = {"ms": at, "state": f["state"]}
            if f["state"] == "text":
                entry.update(id=int(f["id"]), text=f["text"], match=f["match"],
                             differing=int(f["differing"]))
            result["status_timeline"].append(entry)
        elif event == "close":
            if f["ok"] == "1":
                result["close_requests"].append(at)
        elif event == "message":
            result["messages"].append({
                "ms": at, "msg": int(f["msg"], 16), "wparam": int(f["wparam"], 16),
                "lparam": int(f["lparam"], 16), "how": f["how"], "ok": f["ok"] == "1",
                "result": int(f["result"], 16) if f.get("result") else None})
        elif event == "replace":
            result["replacements"].append({"ms": at, "target": f["target"], "ok": f["ok"] == "1",
                                           "how": f["how"] or None,
                                           "move_error": int(f["move_error"]),
                                           "error": int(f["error"])})
        elif event == "error":
            result["errors"].append(f["message"])
        elif event == "end":
            result["complete"] = True
    result["status_timeline"].sort(key=lambda entry: entry["ms"])
    seen = set()
    for entry in result["status_timeline"]:
        if entry["state"] == "text" and entry["id"] not in seen:
            seen.add(entry["id"])
            result["status_texts"].append({"id": entry["id"], "text": entry["text"],
                                           "first_ms": entry["ms"]})
    return result
