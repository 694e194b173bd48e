#!/usr/bin/env bash
# Sets up the machine, builds BIOSUpdate.exe with the embedded default payload, and runs one whole
# update under Wine on a simulated notebook: on mains power, 80% charged, running BIOS MIRTSF12
# (older than the carried image MIRTSF13). The user answers Yes; the stand-in flash utility records
# how it was started. Prints what the run showed and did; the full report is build/run/report.json.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --workflow --preset product
cmake --preset tests >/dev/null
cmake --build --preset tests --target uidriver

mkdir -p build/run
python3 tools/e2e/run_machine.py build/product/BIOSUpdate.exe \
    --driver build/tests/tools/uidriver/uidriver.exe --cache build/run/cache \
    --ac on --battery 80 --bios-version MIRTSF12 --locale en --answer yes \
    --env 'BIOSUPDATE_STUB_RECORD=C:\e2e\flash-record.txt' \
    --screenshot status:137 --screenshot-dir build/run/screenshots --timeout 120 \
    >build/run/report.json
python3 scripts/print_run.py build/run/report.json
