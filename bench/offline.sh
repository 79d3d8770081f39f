#!/usr/bin/env bash
# The reverse search from the address data on the real program (see bench/offline.py), run
# under Wine inside the namespace harness from a Windows build folder where Verdalo and
# verdalo_driver are built. Needs root (namespaces), like the tests.
# Usage: bench/offline.sh [windows build dir] [rounds]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-$here/../build/win32}
for f in app/Verdalo.exe tests/driver/verdalo_driver.exe; do
    [ -f "$build/$f" ] || { echo "offline.sh: build Verdalo and verdalo_driver in $build" >&2; exit 2; }
done
VERDALO_E2E_NAME=${VERDALO_E2E_NAME:-bench-offline} bash "$here/../tests/e2e/netns.sh" --timeout 600 -- \
    /usr/bin/python3 "$here/offline.py" "$build/app/Verdalo.exe" \
    "$build/tests/driver/verdalo_driver.exe" "${2:-5}"
