#!/usr/bin/env bash
# One end-to-end test of the import, export and copy: Verdalo.exe, the driver and our
# clipboard reader inside the namespace of netns.sh, in a Wine prefix of their own.
# Usage: io_e2e.sh <Verdalo.exe> <verdalo_driver.exe> <io_clipboard_read.exe> <test name> [netns.sh options]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exe=$1 driver=$2 reader=$3 name=$4
shift 4
export VERDALO_E2E_NAME=${VERDALO_E2E_NAME:-io}
exec bash "$here/netns.sh" "$@" -- /usr/bin/python3 "$here/io_e2e.py" "$exe" "$driver" "$reader" "$name"
