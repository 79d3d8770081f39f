#!/usr/bin/env bash
# Brings a fresh Debian 12 machine (as root) to the state the build and every test need.
# Idempotent: when everything is already there it only checks and returns in seconds.
set -euo pipefail

PKGS=(
  cmake make ninja-build g++ clang libclang-rt-14-dev
  g++-mingw-w64-i686 mingw-w64-i686-dev
  googletest libgtest-dev libbenchmark-dev
  wine wine32:i386 xvfb xauth x11-utils imagemagick fonts-wqy-microhei
  python3 python3-xlrd curl iproute2 util-linux procps
  libreoffice-calc-nogui
)

need_arch=0
dpkg --print-foreign-architectures | grep -qx i386 || need_arch=1
if [ "$need_arch" = 1 ]; then
  dpkg --add-architecture i386
fi

missing=()
for p in "${PKGS[@]}"; do
  name=${p%%:*}; arch=${p#*:}; [ "$arch" = "$p" ] && arch=""
  q=$name${arch:+:$arch}
  if ! dpkg-query -W -f='${Status}' "$q" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ] || [ "$need_arch" = 1 ]; then
  echo "install-deps: installing ${missing[*]:-(i386 lists)}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# One Wine prefix for the build's tests and the program; made once.
export WINEPREFIX=${WINEPREFIX:-/root/.wine-verdalo}
export WINEARCH=win32 WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "install-deps: creating Wine prefix $WINEPREFIX"
  # wineboot wants no display; keep the gecko/mono installers from asking for one
  WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 wineboot --init >/dev/null 2>&1 || true
  timeout 60 wineserver -w || true
fi
echo "install-deps: ok"
