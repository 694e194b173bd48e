#!/usr/bin/env bash
# Sets up the machine, builds the shipped program, and runs every test: the Wine-run unit and
# end-to-end tests, then the platform-free logic on the host under sanitizers and a fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --workflow --preset product
cmake --workflow --preset tests
cmake --workflow --preset native
