#!/usr/bin/env bash
# Every test of the project: native, sanitizers, fuzzing, and the Windows build under Wine.
# Usage: scripts/test.sh [stage ...]   stages: native asan fuzz win (default: all)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
cd "$VERDALO_ROOT"

bash scripts/install-deps.sh || exit 1

stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(native asan fuzz win)

passed=0; failed=0; broken=()
cleanup() { verdalo_stop_wine; verdalo_stop_display; }
trap cleanup EXIT

# Runs ctest in a build folder and adds its counts to the totals.
run_ctest() {
  local dir=$1; shift
  local log; log=$(mktemp)
  (cd "$dir" && ctest --output-on-failure --no-tests=error "$@") 2>&1 | tee "$log"
  local line; line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then
    echo "ctest in $dir ran no test"; failed=$((failed + 1)); broken+=("$dir: no tests")
  else
    local f t
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f)); failed=$((failed + f))
    [ "$f" = 0 ] || broken+=("$dir: $f failed")
  fi
  rm -f "$log"
}

# Runs one command as one counted test.
run_step() {
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); broken+=("$name"); fi
}

build() {  # build dir, then cmake args
  local dir=$1; shift
  if ! cmake -S . -B "$dir" "$@" >/dev/null || ! cmake --build "$dir" -j"$JOBS" >"$dir.log" 2>&1; then
    tail -60 "$dir.log" 2>/dev/null
    echo "build failed: $dir"; failed=$((failed + 1)); broken+=("$dir: build failed")
    return 1
  fi
}

for stage in "${stages[@]}"; do
  echo "=== $stage"
  case $stage in
    native)
      build "$VERDALO_BUILD/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo && run_ctest "$VERDALO_BUILD/native" -j"$JOBS"
      run_step clang-tidy bash scripts/tidy.sh ;;
    asan)
      build "$VERDALO_BUILD/asan" -DCMAKE_BUILD_TYPE=Debug -DVERDALO_SANITIZE=ON -DVERDALO_BENCH=OFF &&
        ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest "$VERDALO_BUILD/asan" -j"$JOBS" -L native ;;
    fuzz)
      build "$VERDALO_BUILD/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERDALO_FUZZ=ON -DVERDALO_BENCH=OFF \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ && run_ctest "$VERDALO_BUILD/fuzz" -L fuzz ;;
    win)
      verdalo_start_display || { failed=$((failed + 1)); broken+=("no display"); continue; }
      build "$VERDALO_BUILD/win32" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$VERDALO_ROOT/cmake/toolchain-mingw-i686.cmake" &&
        run_ctest "$VERDALO_BUILD/win32"
      verdalo_stop_wine ;;
    *) echo "unknown stage $stage"; exit 2 ;;
  esac
done

echo
for b in "${broken[@]}"; do echo "not green: $b"; done
echo "$passed passed, $failed failed"
[ "$failed" = 0 ] && [ "$passed" -gt 0 ]
