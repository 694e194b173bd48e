#!/usr/bin/env bash
# Sets up the machine and measures BIOSUpdate: what it adds to its own pauses, how lightly it waits,
# how fast the package bench runs. Builds what it needs, then prints one Markdown table. Takes about
# 16 minutes on two cores (--quick: about 7; --only paint,size: some figures); run it as root on a
# quiet machine. Options: tools/perf/README.md.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec /usr/bin/python3 -m tools.perf "$@"
