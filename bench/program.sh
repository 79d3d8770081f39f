#!/usr/bin/env bash
# The program's figures in one run (see bench/program.py): builds what it needs, then runs
# the real Verdalo.exe under Wine inside the namespace harness against the robustness mock.
# Prints one name=value line per figure. Needs root (namespaces), like the tests.
# Usage: bench/program.sh [--startup-only | --new-only] [windows build dir]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/env.sh"
root=$VERDALO_ROOT
only=
case "${1:-}" in --startup-only | --new-only) only=$1 && shift ;; esac
build=${1:-$VERDALO_BUILD/win32}
bash "$root/scripts/install-deps.sh" >/dev/null
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build "$build" -j"$JOBS" --target Verdalo verdalo_driver batch_run minimal_window \
    ipdb_open >/dev/null
verdalo_start_display
trap 'verdalo_stop_display' EXIT
VERDALO_E2E_NAME=${VERDALO_E2E_NAME:-bench-program} \
    bash "$root/tests/e2e/netns.sh" --timeout "${VERDALO_BENCH_LIMIT:-3600}" -- \
    bash "$root/tests/robust/inside.sh" \
    /usr/bin/python3 "$root/bench/program.py" "$build/app/Verdalo.exe" \
    "$build/tests/driver/verdalo_driver.exe" "$build/tests/e2e/batch_run.exe" \
    "$build/tests/e2e/minimal_window.exe" "$build/tests/e2e/ipdb_open.exe" $only
