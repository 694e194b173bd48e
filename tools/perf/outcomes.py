"""The five ends of a run and the pauses the program must make on each, for the overhead per
outcome and the start-up latency: runs of the real BIOSUpdate.exe under the runner, its question
answered at once, and runs of the empty reference program started the same way."""

import json
import os
import statistics

WORK_FOLDER = r"C:\Program Files\BIOSUPDATE"
DEFAULT_IMAGE = "mirtsf13.imc"
OTHER_PLATFORM = "QX7RW"

# Status texts (string ids) the program shows on the way.
INITIALIZING, LOADING, VERIFYING, CANNOT_UPDATE = 138, 131, 132, 133
CHECKING, UPDATING, IMAGE_OLDER, SAME_VERSION = 135, 137, 141, 142
# Each path as the program must pause on it: the status texts in order, each with the pauses (ms)
# between the previous event (the answer, or the previous text) and its showing, then the pauses
# to the end. The window pauses before its first text; then come the start timer and the worker's
# pause before its look-up (with the image found, also the look-up's pause to IDS_LOADING), the
# worker's steps, and the pause after the last text. The exit timer (3000 ms) is armed on the four
# paths without a flash, but the finishing message posted right after it ends the run first: it
# is no pause of any path.
START_TO_LOOK_UP = 500 + 1000
FOUND = [(INITIALIZING, 2000), (LOADING, START_TO_LOOK_UP + 2000), (VERIFYING, 2000)]
STEPS = {
    "flash": FOUND + [(CHECKING, 2000), (UPDATING, 4000), (None, 1000)],
    "same version": FOUND + [(SAME_VERSION, 2000), (None, 5000)],
    "image older": FOUND + [(IMAGE_OLDER, 2000), (None, 5000)],
    "other platform": FOUND + [(CANNOT_UPDATE, 2000), (None, 3000)],
    "no image": [(INITIALIZING, 2000), (CANNOT_UPDATE, START_TO_LOOK_UP), (None, 3000)],
}
PAUSES_MS = {name: sum(pause for _, pause in steps) for name, steps in STEPS.items()}
PHASES = ("to the question", "answer to the first text", "start timer to the worker's first text",
          "worker's steps", "last text to the end")


def image_name(product_dir):
    """The image the package carries: from the package description when the build wrote one."""
    path = os.path.join(product_dir, "BIOSUpdate.package.json")
    if os.path.isfile(path):
        with open(path) as handle:
            return json.load(handle)["image"]["file"]
    return DEFAULT_IMAGE


def machines(image):
    """The runner's options for each outcome, for a package carrying `image`."""
    platform = image[:5].upper()
    digits = ""
    for character in image[5:13].upper():
        if character not in "0123456789ABCDEF":
            break
        digits += character
    number = int(digits, 16)
    return {
        "flash": dict(bios_version=f"{platform}{number - 1:X}",
                      env={"BIOSUPDATE_STUB_DELAY_MS": "0"}),
        "same version": dict(bios_version=f"{platform}{number:X}"),
        "image older": dict(bios_version=f"{platform}{number + 1:X}"),
        "other platform": dict(bios_version=f"{OTHER_PLATFORM}{number - 1:X}"),
        # A directory in the image's place: the image cannot be written, the look-up finds none.
        "no image": dict(bios_version=f"{platform}{number - 1:X}",
                         dirs=[f"{WORK_FOLDER}\\{image}"]),
    }


def question(report):
    """The question box of a run: (appeared, answered) in ms from the start."""
    box = next(b for b in report["message_boxes"] if b["caption"] == "BIOS update")
    return box["appeared_ms"], box["pressed_ms"]


def run_all(wine, product, empty, outcomes, repetitions, with_empty, progress):
    """Runs each wanted outcome `repetitions` times in turn, each run after one of the empty
    program when asked. Returns ({outcome: [reports]}, [empty program reports])."""
    options = machines(image_name(os.path.dirname(product)))
    runs, empty_runs = {name: [] for name in outcomes}, []
    for repetition in range(repetitions):
        for name in outcomes:
            progress(f"{name}, run {repetition + 1}" + (", after the empty program's"
                                                        if with_empty else ""))
            if with_empty:
                empty_runs.append(wine.run(empty, answer_delay_ms=0))
            runs[name].append(wine.run(product, answer_delay_ms=0, **options[name]))
    return runs, empty_runs


def overhead(reports, pauses_ms, utility_ms):
    """(median ms over the floor, floor ms): each run's time from start to end less the time its
    question stood open, against the pauses plus the stand-in utility's time."""
    floor = pauses_ms + utility_ms
    over = []
    for report in reports:
        appeared, answered = question(report)
        over.append(report["ended"]["after_ms"] - (answered - appeared) - floor)
    return statistics.median(over), floor


def phases(report, name, utility_ms):
    """The overhead of one run by phase, in ms beyond the pauses (the driver's sightings, every
    30 ms), or None when a status text was not recognised."""
    appeared, answered = question(report)
    seen = {text["id"]: text["first_ms"] for text in report["status_texts"]}
    steps = STEPS[name]
    if any(status not in seen for status, _ in steps[:-1]):
        return None
    times = [answered] + [seen[status] for status, _ in steps[:-1]]
    times.append(report["ended"]["after_ms"])
    pauses = [pause for _, pause in steps]
    pauses[-1] += utility_ms
    beyond = [times[i + 1] - times[i] - pauses[i] for i in range(len(pauses))]
    return [appeared, beyond[0], beyond[1], sum(beyond[2:-1]), beyond[-1]]


def startup(reports):
    """The median time from the start to the question on the screen."""
    return statistics.median(question(report)[0] for report in reports)
