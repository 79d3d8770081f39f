#!/usr/bin/env bash
# Runs inside tests/e2e/netns.sh: starts the robustness mock (tests/robust/robust_mock.py)
# on 127.0.0.2 port 80 and points the three web service names at it, by rewriting the
# namespace's hosts file in place (it is bind-mounted, so the inode must stay). The stock
# mock on 127.0.0.1 stays up, unused. Then runs the command and stops the mock.
# Usage: inside.sh command [args...]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[ -n "${VERDALO_E2E_DIR:-}" ] || { echo "inside.sh: run me through tests/e2e/netns.sh" >&2; exit 2; }

export VERDALO_MOCK_LOG=$VERDALO_E2E_DIR/robust-requests.log VERDALO_MOCK_URL=http://127.0.0.2
: >"$VERDALO_MOCK_LOG"
/usr/bin/python3 "$here/robust_mock.py" --bind 127.0.0.2 --port 80 --log "$VERDALO_MOCK_LOG" \
    >"$VERDALO_E2E_DIR/robust-mock.out" 2>&1 &
mock_pid=$!
cleanup() {
    kill "$mock_pid" 2>/dev/null
    wait "$mock_pid" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 143' TERM INT
for _ in $(seq 100); do
    curl -s -o /dev/null --max-time 1 http://127.0.0.2/__mock/ping && break
    sleep 0.05
done
curl -s -o /dev/null --max-time 1 http://127.0.0.2/__mock/ping ||
    { echo "inside.sh: robust mock did not start" >&2; cat "$VERDALO_E2E_DIR/robust-mock.out" >&2; exit 1; }

hosts=$VERDALO_E2E_DIR/hosts
probe_line=$(grep -F " $VERDALO_PROBE_HOST" "$hosts" || true)
{
    echo "127.0.0.1 localhost"
    echo "127.0.0.2 $VERDALO_LOCATION_HOST $VERDALO_RANGE_HOST $VERDALO_ECHO_HOST"
    [ -n "$probe_line" ] && echo "$probe_line"
} >"$hosts.new"
cat "$hosts.new" >"$hosts"
getent hosts "$VERDALO_LOCATION_HOST" | grep -q '^127\.0\.0\.2 ' ||
    { echo "inside.sh: the hosts file did not take" >&2; exit 1; }

"$@"
