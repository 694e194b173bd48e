"""Builds what the figures need, or brings it up to date: the product (build/product, as
scripts/run.sh builds it), the runner's UI driver (in the tests tree, likewise), and the benchmark
programs in a tree of their own configured like the product's. Figures of an executable older
than its sources would be of code that is no longer there."""

import os
import subprocess
import sys

from .. import DRIVER, PRODUCT_DIR, ROOT
PROGRAMS = ("perf_probe", "perf_empty")


class BuildFailed(RuntimeError):
    pass


def _cmake(*arguments):
    print("benchmark: cmake " + " ".join(arguments), file=sys.stderr, flush=True)
    result = subprocess.run(["cmake", *arguments], cwd=ROOT, stdin=subprocess.DEVNULL,
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise BuildFailed(f"cmake {' '.join(arguments)} failed:\n{result.stdout}{result.stderr}")


def product(directory):
    """BIOSUpdate.exe of the product tree; the default tree is built, or brought up to date."""
    exe = os.path.join(directory, "BIOSUpdate.exe")
    if os.path.abspath(directory) == str(PRODUCT_DIR):
        _cmake("--workflow", "--preset", "product")
    elif not os.path.isfile(exe):
        raise BuildFailed(f"no BIOSUpdate.exe in {directory}")
    return exe


def driver(path):
    """uidriver.exe; the default one is built in the tests tree, or brought up to date."""
    if os.path.abspath(path) == str(DRIVER):
        _cmake("--preset", "tests")
        _cmake("--build", "--preset", "tests", "--target", "uidriver")
    elif not os.path.isfile(path):
        raise BuildFailed(f"no UI driver at {path}")
    return path


def programs(tree):
    """{target: executable} of the benchmark programs, built (or brought up to date) in `tree`,
    which is configured with the product's preset unless it already is."""
    if not os.path.isfile(os.path.join(tree, "CMakeCache.txt")):
        _cmake("--preset", "product", "-B", tree)
    _cmake("--build", tree, "--target", *PROGRAMS)
    return {target: os.path.join(tree, "tools", "perf", target + ".exe") for target in PROGRAMS}
