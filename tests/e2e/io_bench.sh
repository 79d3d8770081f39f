#!/usr/bin/env bash
# Import and export timings on the real program under Wine (see io_bench.py).
# Usage: io_bench.sh <Verdalo.exe> <verdalo_driver.exe>
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export VERDALO_E2E_NAME=${VERDALO_E2E_NAME:-io}
exec bash "$here/netns.sh" --timeout ${VERDALO_IO_BENCH_LIMIT:-7200} -- /usr/bin/python3 "$here/io_bench.py" "$@"
