#!/usr/bin/env bash
# One robustness run of the real program inside the private namespace, against the
# robustness mock. Usage: robust.sh <Verdalo.exe> <verdalo_driver.exe> <test> <time limit s> [rows]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exe=$1 driver=$2 name=$3 limit=$4
shift 4
export VERDALO_E2E_NAME=${VERDALO_E2E_NAME:-robust}
exec bash "$here/../e2e/netns.sh" --timeout "$limit" -- \
    bash "$here/inside.sh" /usr/bin/python3 "$here/robust.py" "$exe" "$driver" "$name" "$@"
