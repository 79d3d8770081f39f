# Shared settings for the scripts: one Wine prefix, quiet Wine, where builds go.
VERDALO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export VERDALO_ROOT
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-verdalo}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No Gecko/Mono installer prompts in a fresh prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export VERDALO_BUILD=${VERDALO_BUILD:-$VERDALO_ROOT/build}
JOBS=${JOBS:-2}

# Start a private Xvfb when there is no display; verdalo_stop_display undoes it.
verdalo_start_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n
  for n in $(seq 91 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    VERDALO_XVFB_PID=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    kill "$VERDALO_XVFB_PID" 2>/dev/null
  done
  echo "could not start Xvfb" >&2
  return 1
}

verdalo_stop_display() {
  if [ -n "${VERDALO_XVFB_PID:-}" ]; then
    kill "$VERDALO_XVFB_PID" 2>/dev/null
    wait "$VERDALO_XVFB_PID" 2>/dev/null
    VERDALO_XVFB_PID=
  fi
}

verdalo_stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

verdalo_configure_win() {
  cmake -S "$VERDALO_ROOT" -B "$VERDALO_BUILD/win32" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$VERDALO_ROOT/cmake/toolchain-mingw-i686.cmake" >/dev/null
}
