"""The five ends of a run and the pauses the program must make on each, for the overhead per
outcome and the start-up latency: runs of the real BIOSUpdate.exe under the runner, its question
answered at once, and runs of the empty reference program started the same way."""

import os
import statistics

from ..bench import package, rules
from ..e2e import stub_record
from ..bench.rules import IDS_CANNOT_UPDATE, IDS_IMAGE_OLDER, IDS_SAME_VERSION, IDS_UPDATING

OTHER_PLATFORM = "QX7RW"
# Each path as the program must pause on it (the bench's rules): the status texts in order, each
# with the pause (ms) between the previous event (the answer, or the previous text) and its
# showing, then the pause to the end (None). The exit timer is armed on the four paths without a
# flash, but the finishing message posted right after it ends the run first: it is no pause of
# any path.
PATHS = {"flash": (IDS_UPDATING, True), "same version": (IDS_SAME_VERSION, True),
         "image older": (IDS_IMAGE_OLDER, True), "other platform": (IDS_CANNOT_UPDATE, True),
         "no image": (IDS_CANNOT_UPDATE, False)}


def _steps(verdict, image_found):
    steps, end = rules.status_steps(verdict, image_found)
    return steps + [(None, end)]


STEPS = {name: _steps(*path) for name, path in PATHS.items()}
PAUSES_MS = {name: sum(pause for _, pause in steps) for name, steps in STEPS.items()}
PHASES = ("to the question", "answer to the first text", "start timer to the worker's first text",
          "worker's steps", "last text to the end")


def image_name(product_dir):
    """The image the package carries, from the description the build writes beside it."""
    return package.load(os.path.join(product_dir, package.DESCRIPTION_NAME))["image"]["file"]


def machines(image):
    """The runner's options for each outcome, for a package carrying `image`."""
    platform, number = rules.read_version(image)
    return {
        "flash": dict(bios_version=f"{platform}{number - 1:X}",
                      env={stub_record.DELAY_VARIABLE: "0"}),
        "same version": dict(bios_version=f"{platform}{number:X}"),
        "image older": dict(bios_version=f"{platform}{number + 1:X}"),
        "other platform": dict(bios_version=f"{OTHER_PLATFORM}{number - 1:X}"),
        # A directory in the image's place: the image cannot be written, the look-up finds none.
        "no image": dict(bios_version=f"{platform}{number - 1:X}",
                         dirs=[f"{rules.work_folder(None)}\\{image}"]),
    }


def question(report):
    """The question box of a run: (appeared, answered) in ms from the start."""
    box = next(b for b in report["message_boxes"] if b["caption"] == rules.QUESTION_CAPTION)
    return box["appeared_ms"], box["pressed_ms"]


def run_all(wine, product, empty, outcomes, repetitions, progress):
    """Runs each wanted outcome `repetitions` times in turn, each run after one of the empty
    program. Returns ({outcome: [reports]}, [empty program reports])."""
    options = machines(image_name(os.path.dirname(product)))
    runs, empty_runs = {name: [] for name in outcomes}, []
    for repetition in range(repetitions):
        for name in outcomes:
            progress(f"{name}, run {repetition + 1}, after the empty program's")
            empty_runs.append(wine.run(empty, answer_delay_ms=0))
            runs[name].append(wine.run(product, answer_delay_ms=0, **options[name]))
    return runs, empty_runs


def _unanswered(report):
    """A run's time from start to end less the time its question stood open."""
    appeared, answered = question(report)
    return report["ended"]["after_ms"] - (answered - appeared)


def overhead(reports, pauses_ms, utility_ms):
    """(median ms over the floor, floor ms): each run's time from start to end less the time its
    question stood open, against the pauses plus the stand-in utility's time."""
    floor = pauses_ms + utility_ms
    return statistics.median(_unanswered(report) - floor for report in reports), floor


def whole_run(reports):
    """The empty program's whole run, start to end less its open question (median ms): what
    Wine's own start and exit take."""
    return statistics.median(_unanswered(report) for report in reports)


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
