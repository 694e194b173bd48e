"""The bench's results: results.json, one self-contained HTML page (report.html.j2, screenshots
embedded, timelines as inline SVG) and a short text summary for the terminal."""

import base64
import json
import os

import jinja2

from ..package import lint
from .compare import text_name

HERE = os.path.dirname(os.path.abspath(__file__))
RESULTS_NAME = "results.json"
PAGE_NAME = "report.html"
TIMELINE_WIDTH = 560
# One colour per status text id; anything else is grey.
COLOURS = {138: "#7f8c8d", 131: "#2980b9", 132: "#8e44ad", 135: "#16a085", 137: "#27ae60",
           133: "#c0392b", 141: "#d35400", 142: "#f39c12"}


def missing(results):
    """A sentence naming the shards and machines a merged result lacks, or None when it lacks
    none (a shard's or a whole run's results lack none)."""
    shards, machines = results.get("missing_shards"), results.get("missing_machines")
    found = []
    if shards:
        found.append(f"no result from shard {', '.join(map(str, shards))} of "
                     f"{results['shards']['count']}")
    if machines:
        found.append(f"no result for {len(machines)} machine(s) of the selection: "
                     f"{', '.join(machines)}")
    return "; ".join(found) or None


def verdict(results):
    if results.get("interrupted"):
        return "interrupted"
    if missing(results):
        return "incomplete"
    differing = lint.errors(results["lint"]) or any(m["differences"] for m in results["machines"])
    return "differs" if differing else "as expected"


def write_results(results, out_dir):
    path = os.path.join(out_dir, RESULTS_NAME)
    with open(path, "w", encoding="utf-8") as handle:
        json.dump(results, handle, indent=1, ensure_ascii=False)
    return path


def _segments(starts, end_ms):
    """[(start ms, id or None)] to segments that last until the next start (the last to end_ms)."""
    ends = [s for s, _ in starts[1:]] + [end_ms]
    return [{"from": s, "to": max(e, s), "id": i} for (s, i), e in zip(starts, ends)]


def _expected_starts(result):
    """[(ms, id)] of the expected texts, counted from the observed answer, and the expected end
    (on the flash path after the utility's observed run)."""
    observed, expected = result["observed"], result["expected"]
    at = next((b["pressed_ms"] for b in observed["boxes"] if b["pressed"] == "YES"), 0) or 0
    starts = []
    for step in expected["status"]:
        at += step["after_ms"]
        starts.append((at, step["id"]))
    utility, ran = expected["utility"], [u["ran_ms"] or 0 for u in observed["utility"]]
    if utility:
        at += utility["after_ms"] + sum(ran) + utility["run_ends_after_ms"]
    return starts, at + (expected["shown_before_end_ms"] or 0)


def _span(result):
    if not result["observed"]:
        return 0
    return max(_expected_starts(result)[1], result["observed"]["end_ms"] or 0)


def timeline(result, span):
    """Geometry of the strip for one machine on a time axis of span ms: the expected and the
    observed status texts."""
    observed, expected = result["observed"], result["expected"]
    if not observed or not (observed["status"] or expected["status"]):
        return None
    starts, end = _expected_starts(result)
    want = _segments(starts, end) if starts else []
    seen_starts = [(t["ms"], t.get("id", "?") if t["state"] != "blank" else None)
                   for t in observed["timeline"]]
    end = observed["end_ms"] or (seen_starts[-1][0] + 1000 if seen_starts else 0)
    seen = [s for s in _segments(seen_starts, end) if s["id"] is not None]
    scale = TIMELINE_WIDTH / max(span, end, 1)

    def place(segments):
        return [dict(s, x=round(s["from"] * scale, 1),
                     width=round(max((s["to"] - s["from"]) * scale, 1), 1),
                     colour=COLOURS.get(s["id"], "#95a5a6")) for s in segments]

    ticks = [{"x": round(ms * scale, 1), "label": f"{ms // 1000}s"}
             for ms in range(0, int(span) + 1, 2000)]
    boxes = [round(b["appeared_ms"] * scale, 1) for b in observed["boxes"] if b["appeared_ms"]]
    return {"width": TIMELINE_WIDTH, "expected": place(want), "observed": place(seen),
            "ticks": ticks, "boxes": boxes}


def _image(out_dir, relative):
    if not relative or not os.path.isfile(os.path.join(out_dir, relative)):
        return None
    with open(os.path.join(out_dir, relative), "rb") as handle:
        return "data:image/png;base64," + base64.b64encode(handle.read()).decode("ascii")


def render(results, out_dir):
    """Writes report.html beside the results and returns its path."""
    # Optional fields a description lacks render empty rather than end the run without a report.
    environment = jinja2.Environment(loader=jinja2.FileSystemLoader(HERE),
                                     autoescape=True, undefined=jinja2.ChainableUndefined)
    environment.filters["words"] = text_name
    # One time axis for every row, so that the strips compare at a glance.
    span = max([_span(m) for m in results["machines"]] + [1])
    rows = [dict(m, timeline=timeline(m, span), image=_image(out_dir, m["screenshot"]))
            for m in results["machines"]]
    page = environment.get_template("report.html.j2").render(
        results=results, rows=rows, verdict=verdict(results), missing=missing(results))
    path = os.path.join(out_dir, PAGE_NAME)
    with open(path, "w", encoding="utf-8") as handle:
        handle.write(page)
    return path


def summary(results, page_path):
    """A few lines for the terminal: counts, the differing machines, the report's path."""
    machines = results["machines"]
    differing = [m for m in machines if m["differences"]]
    lines = [f"bench: {len(machines)} machine(s) in {results['seconds']:.0f} s, "
             f"{len(machines) - len(differing)} as expected, {len(differing)} differing"]
    lines += [f"  lint {f['severity']}: {f['text']}" for f in results["lint"]]
    if missing(results):
        lines.append(f"  missing: {missing(results)}")
    for m in differing:
        lines.append(f"  {m['machine']['name']}: {m['differences'][0]}" +
                     (f" (+{len(m['differences']) - 1} more)" if len(m["differences"]) > 1
                      else ""))
    lines.append(f"report: {page_path}")
    lines.append(f"verdict: {verdict(results)}")
    return "\n".join(lines)
