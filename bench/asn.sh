#!/usr/bin/env bash
# The network numbers' figures: asn_lookup_us, the CPU time of one lookup of an address
# inside a range the file holds, native Release build (bench/asn_bench.cpp, the median of 5
# runs of a million lookups; the other kinds are printed beside it), and asn_open_ms, the
# map and open of asn.db by asn_open.exe under Wine (the median of 15 opens), as
# ipdb_open_ms is measured. Builds what it needs in build/bench and build/win32.
# Usage: bench/asn.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/env.sh"
cd "$VERDALO_ROOT"
native=$VERDALO_BUILD/bench
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$native" -j"$JOBS" --target asn_bench verdalo_asn_db >/dev/null
verdalo_configure_win
cmake --build "$VERDALO_BUILD/win32" -j"$JOBS" --target asn_open verdalo_asn_db >/dev/null

# CPU time per lookup, and wall time beside it (they part when other work shares the cores).
"$native/bench/asn_bench" --benchmark_filter=lookup --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
  awk -F, '/^name,/ { for (i = 1; i <= NF; ++i) { h = $i; gsub(/"/, "", h); head[h] = i } }
           /_median"/ { name = $1; gsub(/"|BM_|_median/, "", name)
                        if (name == "asn_lookup_v4_known") name = "asn_lookup"
                        per = $head["us_per_lookup"]
                        printf "%s_us=%.3f wall_us=%.3f\n", name, per, per * $head["real_time"] / $head["cpu_time"] }'
wine "$VERDALO_BUILD/win32/tests/e2e/asn_open.exe" "$VERDALO_BUILD/win32/data/asn.db" 15
