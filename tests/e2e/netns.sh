#!/usr/bin/env bash
# Runs a command in a private network and mount namespace set up like the internet the
# program expects: loopback up, a hosts file naming the four service hosts 127.0.0.1 (the
# probe host answered by the kernel's own ICMP echo), the mock services on port 80, a
# private Xvfb and a Wine prefix whose wineserver lives in the namespace. Everything it
# starts is stopped at the end; the whole run has a time limit.
#
# Usage: tests/e2e/netns.sh [options] -- command [args...]
#   --no-probe-host    leave the probe host out of the hosts file (it then does not resolve)
#   --mock-delay-ms N  the location service answers after N ms
#   --timeout S        time limit of the whole run (default 300)
#   --keep DIR         keep the request log and the other run files in DIR
# The command sees: VERDALO_E2E_DIR (run files), VERDALO_MOCK_LOG (request log, one JSON
# object a line), VERDALO_MOCK_URL (http://127.0.0.1, for control requests), the host
# names VERDALO_LOCATION_HOST, VERDALO_RANGE_HOST, VERDALO_ECHO_HOST, VERDALO_PROBE_HOST,
# and DISPLAY and WINEPREFIX. The prefix is VERDALO_E2E_PREFIX, by default
# ~/.wine-e2e-<user of the harness>, copied once from the project prefix; runs that share
# a prefix take turns (a wineserver must not serve two namespaces).
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)

if [ "${1:-}" != "--inside" ]; then
    no_probe=0 delay=0 limit=300 keep=
    while [ $# -gt 0 ]; do
        case $1 in
            --no-probe-host) no_probe=1 ;;
            --mock-delay-ms) delay=$2; shift ;;
            --timeout) limit=$2; shift ;;
            --keep) keep=$2; shift ;;
            --) shift; break ;;
            *) echo "netns.sh: unknown option $1" >&2; exit 2 ;;
        esac
        shift
    done
    [ $# -gt 0 ] || { echo "usage: netns.sh [options] -- command [args...]" >&2; exit 2; }
    [ "$(id -u)" = 0 ] || { echo "netns.sh: needs root for unshare and the bind mount" >&2; exit 2; }
    source "$root/scripts/env.sh"
    prefix=${VERDALO_E2E_PREFIX:-$HOME/.wine-e2e-${VERDALO_E2E_NAME:-lookup}}
    run_dir=$(mktemp -d /tmp/verdalo-e2e.XXXXXX)
    [ -n "$keep" ] && mkdir -p "$keep" && run_dir=$(cd "$keep" && pwd)
    exec 9>"$prefix.lock"
    if ! flock -w "$limit" 9; then echo "netns.sh: prefix $prefix stays busy" >&2; exit 1; fi
    if [ ! -d "$prefix" ]; then
        # Another Wine program may be using the project prefix meanwhile: a cache file it
        # deletes mid-copy fails cp, but the copy is good when the registry made it over.
        rm -rf "$prefix.tmp"
        cp -a "${VERDALO_BASE_PREFIX:-$HOME/.wine-verdalo}" "$prefix.tmp" 2>/dev/null
        [ -f "$prefix.tmp/system.reg" ] && mv "$prefix.tmp" "$prefix" ||
            { echo "netns.sh: could not make the prefix $prefix" >&2; exit 1; }
    fi
    # A prefix copied before the project prefix had its font links gets them here.
    source "$root/scripts/wine-fonts.sh"
    verdalo_link_ui_fonts "$prefix" | sed 's/^/netns.sh: /'
    timeout -k 5 "$limit" unshare --net --mount --fork \
        bash "${BASH_SOURCE[0]}" --inside "$run_dir" "$prefix" "$no_probe" "$delay" "$@"
    rc=$?
    [ $rc = 124 ] && echo "netns.sh: time limit of ${limit}s reached" >&2
    [ -z "$keep" ] && rm -rf "$run_dir"
    exit $rc
fi

# Inside the namespace.
shift
run_dir=$1 prefix=$2 no_probe=$3 delay=$4
shift 4
source "$root/scripts/env.sh"
export WINEPREFIX=$prefix VERDALO_E2E_DIR=$run_dir
export VERDALO_MOCK_LOG=$run_dir/requests.log VERDALO_MOCK_URL=http://127.0.0.1
: >"$VERDALO_MOCK_LOG"

host_of() { sed -n "s/.*$1 = \"\\([^\"]*\\)\".*/\\1/p" "$root/lookup/hosts.h"; }
export VERDALO_LOCATION_HOST=$(host_of kLocationHost) VERDALO_RANGE_HOST=$(host_of kRangeSearchHost)
export VERDALO_ECHO_HOST=$(host_of kEchoHost) VERDALO_PROBE_HOST=$(host_of kProbeHost)

mock_pid= xvfb_pid=
cleanup() {
    trap - EXIT TERM INT
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    [ -n "$mock_pid" ] && kill "$mock_pid" 2>/dev/null && wait "$mock_pid" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# Only the mock services are reachable in here; a proxy named outside would only be in the way.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
ip link set lo up || { echo "netns.sh: no loopback" >&2; exit 1; }
{
    echo "127.0.0.1 localhost"
    echo "127.0.0.1 $VERDALO_LOCATION_HOST $VERDALO_RANGE_HOST $VERDALO_ECHO_HOST"
    [ "$no_probe" = 1 ] || echo "127.0.0.1 $VERDALO_PROBE_HOST"
} >"$run_dir/hosts"
mount --bind "$run_dir/hosts" /etc/hosts || { echo "netns.sh: cannot bind the hosts file" >&2; exit 1; }
# Nothing answers DNS in here; an empty resolver list makes unknown names fail at once.
: >"$run_dir/resolv.conf"
mount --bind "$run_dir/resolv.conf" /etc/resolv.conf 2>/dev/null

/usr/bin/python3 "$root/tests/mock/mock_services.py" --port 80 --log "$VERDALO_MOCK_LOG" \
    --delay-ms "$delay" >"$run_dir/mock.out" 2>&1 &
mock_pid=$!
for _ in $(seq 100); do
    curl -s -o /dev/null --max-time 1 http://127.0.0.1/__mock/ping && break
    sleep 0.05
done
curl -s -o /dev/null --max-time 1 http://127.0.0.1/__mock/ping ||
    { echo "netns.sh: mock services did not start" >&2; cat "$run_dir/mock.out" >&2; exit 1; }

# A display of our own: the abstract X socket of a display outside is not reachable here.
unset DISPLAY
for n in $(seq 120 160); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >"$run_dir/xvfb.out" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do DISPLAY=:$n xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    # A harness in another namespace may have taken the number a moment before: its display
    # answers through the socket file, but ours has then exited.
    if kill -0 "$xvfb_pid" 2>/dev/null && DISPLAY=:$n xdpyinfo >/dev/null 2>&1; then
        export DISPLAY=:$n
        break
    fi
    kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=
done
[ -n "${DISPLAY:-}" ] || { echo "netns.sh: could not start Xvfb" >&2; exit 1; }

# A wineserver of this prefix started outside would do ICMP and name look-ups out there.
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1

"$@"
