#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) over the product code: every source of the native
# build and of the Windows build outside tests/, fuzz/ and bench/, the Windows-only ones
# parsed by clang for the MinGW target with the MinGW C++ headers. Prints the warnings
# and fails on any. Configures the two builds when they are not there yet (no compiling).
# Usage: scripts/tidy.sh [source ...]   (paths from the root; default: all)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
cd "$VERDALO_ROOT"
tidy=$(command -v clang-tidy || command -v clang-tidy-14) || { echo "no clang-tidy" >&2; exit 1; }
native=$VERDALO_BUILD/native win=$VERDALO_BUILD/win32 db=$VERDALO_BUILD/tidy
[ -f "$native/compile_commands.json" ] ||
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
[ -f "$win/compile_commands.json" ] || verdalo_configure_win || exit 1

mkdir -p "$db"
python3 - "$VERDALO_ROOT" "$native" "$win" "$db/compile_commands.json" "$@" <<'PY' || exit 1
import glob, json, os, re, sys
root, native, win, target, *only = sys.argv[1:]
gcc = sorted(glob.glob("/usr/lib/gcc/i686-w64-mingw32/*-posix"))
if not gcc:
    sys.exit("no MinGW posix headers")
cxx = gcc[-1] + "/include/c++"
mingw = ("clang++ --target=i686-w64-mingw32 -nostdinc++ -isystem " + cxx + " -isystem " + cxx +
         "/i686-w64-mingw32 -isystem " + cxx + "/backward")
seen, entries = set(), []
for build, windows in ((native, False), (win, True)):
    for e in json.load(open(os.path.join(build, "compile_commands.json"))):
        f = os.path.relpath(e["file"], root)
        if f.startswith(("tests/", "fuzz/", "bench/", "build/", "..")) or f in seen:
            continue
        if only and f not in only:
            continue
        seen.add(f)
        # clang takes UTF-8 literals only; the charset changes no check.
        command = e["command"].replace("-fexec-charset=GBK", "")
        command = command.replace("-fno-tree-loop-distribute-patterns", "")  # GCC only
        if windows:
            command = re.sub(r"^\S+", mingw, command)
        e["command"] = command
        entries.append(e)
if not entries:
    sys.exit("no sources to check")
json.dump(entries, open(target, "w"), indent=1)
PY
log=$(mktemp)
python3 -c 'import json,sys; print("\n".join(e["file"] for e in json.load(open(sys.argv[1]))))' \
  "$db/compile_commands.json" | xargs -P "$JOBS" -n 1 "$tidy" -p "$db" --quiet 2>&1 |
  grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter|^Use -system-headers' >"$log"
count=$(grep -c -E '(^|: )(warning|error): ' "$log")
cat "$log"
rm -f "$log"
echo "clang-tidy: $(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))))' "$db/compile_commands.json") sources, $count warnings"
[ "$count" = 0 ]
