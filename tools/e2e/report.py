"""What a run on a simulated machine produced (the JSON that python3 -m tools.e2e prints), with a
few accessors for tests. The sections are described in README.md."""

import json


class Report:
    def __init__(self, data):
        self.data = data

    def __getitem__(self, key):
        return self.data[key]

    def to_json(self):
        return json.dumps(self.data, indent=1, ensure_ascii=False)

    @property
    def ended(self):
        return self.data["ended"]

    @property
    def exit_code(self):
        return self.data["ended"]["exit_code"]

    @property
    def timed_out(self):
        return self.data["ended"]["how"] == "timeout"

    @property
    def message_boxes(self):
        return self.data["message_boxes"]

    def boxes(self, caption, role="first"):
        return [b for b in self.data["message_boxes"] if b["caption"] == caption
                and b["role"] == role]

    @property
    def status_ids(self):
        """The status texts recognised on the screen, by id, in the order they first appeared."""
        return [s["id"] for s in self.data["status_texts"]]

    def windows(self, role="first", visible_only=False):
        result = []
        for window in self.data["windows"]:
            if window["role"] != role:
                continue
            if visible_only and not any(s["visible"] for s in window["states"]):
                continue
            result.append(window)
        return result

    def fullscreen_windows(self, role="first"):
        """Windows of the program that were ever shown covering the whole screen."""
        width, height = (int(v) for v in self.data["driver"]["screen"].split("x"))
        return [w for w in self.windows(role) if any(
            s["visible"] and s["rect"][0] <= 0 and s["rect"][1] <= 0 and
            s["rect"][2] >= width and s["rect"][3] >= height for s in w["states"])]

    @property
    def work_folder(self):
        return self.data["work_folder"]

    @property
    def registry(self):
        return self.data["registry"]

    @property
    def errors(self):
        return self.data["errors"]

    @property
    def starts(self):
        """With several starts: what each one showed and left, as reports of their own."""
        return [Report(section) for section in self.data.get("starts") or []]
