#!/usr/bin/env bash
# Builds the benchmark preset and runs the benchmark; arguments go to run.py
# (--smoke for one quick run at the smallest size, --help for the rest).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps build bench
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 >/dev/null
exec python3 bench/run.py "$@"
