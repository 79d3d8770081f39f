#!/usr/bin/env bash
# One end-to-end test of the lookups: Verdalo.exe and the driver inside the namespace.
# Usage: lookup_e2e.sh <Verdalo.exe> <verdalo_driver.exe> <test name> [netns.sh options]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exe=$1 driver=$2 name=$3
shift 3
exec bash "$here/netns.sh" "$@" -- /usr/bin/python3 "$here/lookup_e2e.py" "$exe" "$driver" "$name"
