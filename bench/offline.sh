#!/usr/bin/env bash
# The reverse search from the address data on the real program (see bench/offline.py):
# builds what it needs, then runs Verdalo.exe under Wine inside the namespace harness.
# Needs root (namespaces), like the tests.
# Usage: bench/offline.sh [windows build dir] [rounds]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/env.sh"
root=$VERDALO_ROOT
build=${1:-$VERDALO_BUILD/win32}
bash "$root/scripts/install-deps.sh" >/dev/null
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build "$build" -j"$JOBS" --target Verdalo verdalo_driver >/dev/null
VERDALO_E2E_NAME=${VERDALO_E2E_NAME:-bench-offline} \
    bash "$root/tests/e2e/netns.sh" --timeout 600 -- \
    /usr/bin/python3 "$root/bench/offline.py" "$build/app/Verdalo.exe" \
    "$build/tests/driver/verdalo_driver.exe" "${2:-5}"
