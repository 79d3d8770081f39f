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
  # No demo: start it once inside the private network of the tests (mock services, a
  # private Xvfb, nothing leaves the machine) and keep a screenshot of the main window.
  mkdir -p out/run
  VERDALO_E2E_NAME=${VERDALO_E2E_NAME:-run} bash tests/e2e/netns.sh --timeout 120 -- bash -c '
    wine "$1" >/dev/null 2>&1 & sleep 10
    import -window root "$2"; wineserver -k' _ "$exe" "$VERDALO_ROOT/out/run/main-window.png"
  echo "no display here: ran it on a private Xvfb; screenshot in $VERDALO_ROOT/out/run/main-window.png"
else
  exec wine "$exe"
fi
