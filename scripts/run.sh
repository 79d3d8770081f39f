#!/usr/bin/env bash
# Builds Verdalo.exe and starts it under Wine. With no display it runs the demo on a
# private Xvfb and leaves screenshots in out/ (scripts/demo.sh when that exists).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
cd "$VERDALO_ROOT"
bash scripts/install-deps.sh
verdalo_configure_win
cmake --build "$VERDALO_BUILD/win32" -j"$JOBS" --target Verdalo
exe="$VERDALO_BUILD/win32/app/Verdalo.exe"
echo "built: $exe"

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  if [ -x scripts/demo.sh ]; then exec bash scripts/demo.sh "$exe"; fi
  trap 'verdalo_stop_wine; verdalo_stop_display' EXIT
  verdalo_start_display
  mkdir -p out/run
  wine "$exe" & pid=$!
  sleep 8
  import -window root out/run/main-window.png
  kill $pid 2>/dev/null || true
  echo "no display here: ran it on a private Xvfb; screenshot in $VERDALO_ROOT/out/run/main-window.png"
else
  exec wine "$exe"
fi
