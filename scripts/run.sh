#!/usr/bin/env bash
# Sets up the machine, builds the default package (BIOSUpdate.exe with the embedded stand-in
# payload, and its description BIOSUpdate.package.json) and proves it on the bench's quick set:
# one simulated notebook under Wine for every outcome (a flash, the same and a newer BIOS, another
# platform, no mains, low battery, the user declining, a second instance, the clean-up mode), and
# one for each dimension that shows something more (a screen size, Windows XP, a Hangul folder, an
# older package's image, a question of the flash utility).
# Ends with the report's path and the verdict; the exit status is the bench's.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --workflow --preset product
cmake --preset tests >/dev/null
cmake --build --preset tests --target uidriver
exec /usr/bin/python3 -m tools.bench build/product/BIOSUpdate.package.json --quick
