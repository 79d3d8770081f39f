#!/usr/bin/env bash
# Batch throughput against the mock location service answering after 5 ms, beside a plain
# sequential curl client (a fresh connection per request) fetching the same pages in the
# same run, inside the namespace harness. Prints both rates and their ratio.
# Usage: bench/batch.sh [windows build dir] [rows]
# With Verdalo.exe and the UI driver built there, the whole program is timed as well.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/lookup-win}
rows=${2:-2000}
exe=$build/tests/e2e/batch_run.exe
program=$build/app/Verdalo.exe
driver=$build/tests/driver/verdalo_driver.exe
[ -f "$exe" ] || { echo "build the target batch_run in $build first" >&2; exit 2; }

inner=$(mktemp /tmp/verdalo-batch-bench.XXXXXX.sh)
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<'INNER'
set -euo pipefail
exe=$1 rows=$2 root=$3 program=$4 driver=$5
ours=$(bash "$root/scripts/wine-run.sh" "$exe" "$rows" | tr -d '\r')
echo "verdalo batch (worker, lookups, web routine, WinINet): $ours"
if [ -f "$program" ] && [ -f "$driver" ]; then
    whole=$(/usr/bin/python3 "$root/bench/batch_program.py" "$program" "$driver" "$rows")
    echo "Verdalo.exe (import, 开始获取, until the final message): $whole"
fi
fetches=$(bash "$root/scripts/wine-run.sh" "$exe" "$rows" web | tr -d '\r')
echo "web routine alone (webGetText over WinINet, same pages): $fetches"
urls=$VERDALO_E2E_DIR/urls.txt
for ((i = 0; i < rows; i++)); do
    echo "url = \"http://$VERDALO_LOCATION_HOST/ips138.asp?ip=10.$((i / 65536 % 256)).$((i / 256 % 256)).$((i % 256))&action=2\""
    echo "output = \"/dev/null\""
done >"$urls"
start=$(date +%s.%N)
# "Connection: close" makes every request open its own connection, as a plain client does.
curl -s -H "Connection: close" --config "$urls"
end=$(date +%s.%N)
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
curl_rate=$(calc "$rows / ($end - $start)")
our_rate=$(sed -n 's/.*rows_per_second=\([0-9.]*\).*/\1/p' <<<"$ours")
printf 'curl sequential: rows=%d seconds=%.3f rows_per_second=%.1f\n' "$rows" "$(calc "$end - $start")" "$curl_rate"
fetch_rate=$(sed -n 's/.*rows_per_second=\([0-9.]*\).*/\1/p' <<<"$fetches")
printf 'ratio (curl rate / verdalo batch rate, target <= 1.2): %.3f\n' "$(calc "$curl_rate / $our_rate")"
whole_rate=$(sed -n 's/.*rows_per_second=\([0-9.]*\).*/\1/p' <<<"${whole:-}")
[ -n "$whole_rate" ] && printf 'ratio (curl rate / Verdalo.exe rate): %.3f\n' "$(calc "$curl_rate / $whole_rate")"
printf 'of which the batch over the web routine alone: %.3f\n' "$(calc "$fetch_rate / $our_rate")"
INNER
bash "$root/tests/e2e/netns.sh" --mock-delay-ms 5 --timeout 900 -- bash "$inner" "$exe" "$rows" "$root" "$program" "$driver"
