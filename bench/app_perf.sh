#!/usr/bin/env bash
# Whole-program figures in one run, each beside its peer where one exists: exe size,
# start-up to the main window, batch rows per second through the window against a
# sequential curl client at 0 ms and 5 ms service delay, import of a long txt list and
# the peak memory with it. Runs inside the namespace harness (needs root); prints a table.
# Usage: bench/app_perf.sh [windows build dir] [batch rows, 1000] [memory rows, 100000]
# The import pumps window messages after every row: 100 000 rows take about a minute.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/win32}
batch_rows=${2:-1000}
memory_rows=${3:-100000}
exe=$build/app/Verdalo.exe driver=$build/tests/driver/verdalo_driver.exe
[ -f "$exe" ] && [ -f "$driver" ] ||
    { echo "build the targets Verdalo and verdalo_driver in $build first" >&2; exit 2; }
VERDALO_E2E_NAME=${VERDALO_E2E_NAME:-bench-app} \
    exec bash "$root/tests/e2e/netns.sh" --timeout "${VERDALO_BENCH_LIMIT:-7200}" -- \
    bash "$root/tests/robust/inside.sh" \
    /usr/bin/python3 "$root/bench/app_perf.py" "$exe" "$driver" "$batch_rows" "$memory_rows"
