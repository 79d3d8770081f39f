#!/usr/bin/env bash
# ctest's emulator for the Windows test programs: Wine in the project's prefix, under a
# time limit so a hung program never stalls the run.
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
exec timeout -k 10 "${VERDALO_WINE_TIMEOUT:-600}" wine "$@"
