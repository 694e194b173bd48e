"""The bench's results for a CI system: JUnit XML as GitLab, Jenkins and GitHub's reporters read
it, and a short Markdown summary for a job's summary page."""

import os
import xml.etree.ElementTree as ElementTree

from ..package import lint
from . import report_page
from .compare import text_name

# Summary pages take at most 1 MiB; a summary is a glance, and the report holds the rest.
MARKDOWN_ROWS = 50
MARKDOWN_CELL = 300


def _attachment(out_dir, relative):
    """A screenshot's path as CI reporters resolve it: from the job's folder (the current one)
    when the output lies inside it, else absolute."""
    path = os.path.abspath(os.path.join(out_dir, relative))
    inside = os.path.relpath(path)
    return path if inside.startswith("..") else inside


def _machine_output(result, out_dir):
    """The case's system-out: what the machine showed, with times, and its screenshot."""
    observed = result["observed"]
    lines = [result["machine"]["title"]]
    if observed:
        strings = observed["strings"]
        for box in observed["boxes"]:
            answer = f"answered {box['pressed']}" if box["pressed"] else "left open"
            lines.append(f"{(box['appeared_ms'] or 0) / 1000:.1f} s \"{box['caption']}\" box "
                         f"{text_name(box['text_id'], strings, box['text'])} {answer}")
        lines += [f"{s['ms'] / 1000:.1f} s {text_name(s['id'], strings, s['text'])}"
                  for s in observed["status"]]
        lines += [f"ran {u['command_line']}" for u in observed["utility"]]
        lines.append(f"ended: {observed['ended']}" + (
            f" after {observed['end_ms'] / 1000:.1f} s" if observed["end_ms"] is not None else ""))
    if result["screenshot"]:
        lines.append(f"[[ATTACHMENT|{_attachment(out_dir, result['screenshot'])}]]")
    return "\n".join(lines)


def _failure(case, kind, sentences):
    failure = ElementTree.SubElement(case, "failure", type=kind, message="; ".join(sentences))
    failure.text = "\n".join(sentences)


def junit(results, out_dir):
    """The JUnit document (an ElementTree) of the results: one suite for the package, with its
    image, platform and stamp as properties; a case for the lint and one per machine."""
    package = results["package"]
    image = package["image"]
    machines = results["machines"]
    findings = results["lint"]
    absent = report_page.missing(results)
    failures = (sum(1 for m in machines if m["differences"]) + bool(lint.errors(findings)) +
                bool(absent))
    tests = str(len(machines) + 1 + bool(absent))
    seconds = f"{results['seconds']:.1f}"
    top = ElementTree.Element("testsuites", name="BIOSUpdate package bench", tests=tests,
                              failures=str(failures), errors="0", time=seconds)
    suite = ElementTree.SubElement(
        top, "testsuite", name=f"{package['executable']['file']} {image['file']}", tests=tests,
        failures=str(failures), errors="0", skipped="0", time=seconds,
        timestamp=results["started"])
    properties = ElementTree.SubElement(suite, "properties")
    for name, value in [("image", image["file"]), ("platform", image["platform"]),
                        ("version", image["version_digits"]), ("stamp", package["stamp"])]:
        ElementTree.SubElement(properties, "property", name=name, value=str(value))
    case = ElementTree.SubElement(suite, "testcase", classname="bench.package", name="lint",
                                  time="0")
    if lint.errors(findings):
        _failure(case, "lint", [f["text"] for f in lint.errors(findings)])
    ElementTree.SubElement(case, "system-out").text = "\n".join(
        f"{f['severity']}: {f['text']}" for f in findings) or "no finding"
    # A merge that lacks a shard or machine fails a case of its own, so that a CI page shows it.
    if absent:
        _failure(ElementTree.SubElement(suite, "testcase", classname="bench.merge",
                                        name="missing", time="0"), "missing", [absent])
    for result in machines:
        machine = result["machine"]
        case = ElementTree.SubElement(suite, "testcase", classname=f"bench.{machine['group']}",
                                      name=machine["name"], time=f"{result['seconds'] or 0:.1f}")
        if result["differences"]:
            _failure(case, "differs", result["differences"])
        ElementTree.SubElement(case, "system-out").text = _machine_output(result, out_dir)
    return ElementTree.ElementTree(top)


def write_junit(results, path, out_dir):
    document = junit(results, out_dir)
    ElementTree.indent(document)
    document.write(path, encoding="utf-8", xml_declaration=True)


def _cell(text):
    text = " ".join(str(text).split())
    if len(text) > MARKDOWN_CELL:
        text = text[:MARKDOWN_CELL - 1] + "…"
    return text.replace("&", "&amp;").replace("<", "&lt;").replace("|", "\\|")


def markdown(results):
    """A short summary: the verdict and counts, the lint's findings and the differing machines
    with their first difference."""
    machines = results["machines"]
    differing = [m for m in machines if m["differences"]]
    findings = results["lint"]
    image = results["package"]["image"]
    lines = [f"### BIOSUpdate package bench: {report_page.verdict(results)}", "",
             f"Image `{_cell(image['file'])}` (platform {_cell(image['platform'])}, version "
             f"{_cell(image['version_digits'])}), stamp `{_cell(results['package']['stamp'])}`",
             "", "| Verdict | Machines | As expected | Differing | Lint errors | Lint warnings |",
             "|---|---:|---:|---:|---:|---:|",
             f"| **{report_page.verdict(results)}** | {len(machines)} | "
             f"{len(machines) - len(differing)} | {len(differing)} | "
             f"{len(lint.errors(findings))} | {len(findings) - len(lint.errors(findings))} |"]
    if report_page.missing(results):
        lines += ["", f"Missing: {_cell(report_page.missing(results))}"]
    if findings:
        lines += ["", "| Lint | Finding |", "|---|---|"]
        lines += [f"| {f['severity']} | {_cell(f['text'])} |" for f in findings[:MARKDOWN_ROWS]]
    if differing:
        lines += ["", "| Differing machine | First difference |", "|---|---|"]
        for m in differing[:MARKDOWN_ROWS]:
            more = len(m["differences"]) - 1
            lines.append(f"| `{m['machine']['name']}` | {_cell(m['differences'][0])}"
                         f"{f' (+{more} more)' if more else ''} |")
        if len(differing) > MARKDOWN_ROWS:
            lines += ["", f"…and {len(differing) - MARKDOWN_ROWS} more differing machines: see "
                          "the report."]
    return "\n".join(lines) + "\n"


def write_markdown(results, path):
    with open(path, "w", encoding="utf-8") as handle:
        handle.write(markdown(results))


def publish(results, out_dir, junit_path=None, markdown_path=None):
    """Writes results.json and report.html into out_dir, and the JUnit XML and the Markdown
    summary when asked; prints the summary. Returns the exit status: 0 when the verdict is "as
    expected", else 1."""
    report_page.write_results(results, out_dir)
    page = report_page.render(results, out_dir)
    if junit_path:
        write_junit(results, junit_path, out_dir)
    if markdown_path:
        write_markdown(results, markdown_path)
    print(report_page.summary(results, page))
    return 0 if report_page.verdict(results) == "as expected" else 1
