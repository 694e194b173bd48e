"""The vendor's tools around BIOSUpdate.exe, one package run from the repository's root as
python3 -m tools.<name>: the end-to-end runner (e2e), the package bench (bench), the benchmark
(perf), the package description (package) and the generators of the program's pictures and
default payload (assets)."""

import argparse
from pathlib import Path

# The repository's root: where every tool runs a tool of its own with python3 -m.
ROOT = Path(__file__).resolve().parent.parent
# Where scripts/run.sh builds: the product tree, the runner's UI driver (a tests tree builds it)
# and the runner's cache of the template prefix and runs.
PRODUCT_DIR = ROOT / "build" / "product"
DRIVER = ROOT / "build" / "tests" / "tools" / "uidriver" / "uidriver.exe"
RUN_CACHE = ROOT / "build" / "run" / "cache"


def name_value(text):
    """A NAME=VALUE argument of a tool's command line, as (name, value)."""
    name, sep, value = text.partition("=")
    if not sep or not name:
        raise argparse.ArgumentTypeError(f"expected NAME=VALUE, not {text!r}")
    return name, value
