#!/usr/bin/env bash
# Verdalo.exe starts with the skin: both windows are photographed (checked for the skin's
# colours) and the program's end detaches and unloads the engine once the windows are gone
# (the engine reports it). Runs inside
# tests/e2e/netns.sh, which provides the display, the prefix and the mock services.
# Usage: skinned_windows.sh Verdalo.exe verdalo_driver.exe output-folder
set -uo pipefail
exe=$1 driver=$2 out=$3
mkdir -p "$out"
log=$out/verdalo-debug.log
fail() { echo "skinned_windows: $*" >&2; exit 1; }

# The engine reports attach and detach on the debug channel; nothing else there is ours.
WINEDEBUG=-all,warn+debugstr wine "$exe" >/dev/null 2>"$log" &
drive() {  # driver commands in one run; prints the last value, fails on any "err"
    local answers line
    answers=$(wine "$driver" "timeout 20000" "$@" | tr -d '\r')
    while IFS= read -r line; do
        [ "${line%% *}" = ok ] || fail "driver: $* -> $line"
    done <<<"$answers"
    line=$(tail -1 <<<"$answers")
    echo "${line#ok}" | sed 's/^ //'
}

# Crops window `name` out of a screenshot into $out/skinned-<file>.png and prints the
# colour of a pixel at (x, y) inside it.
shoot() {
    local name=$1 file=$2
    read -r left top width height <<<"$(drive "window-rect $name")"
    import -window root "$out/screen.png" || fail "no screenshot"
    convert "$out/screen.png" -crop "${width}x${height}+${left}+${top}" +repage \
        "$out/skinned-$file.png" || fail "crop failed"
    rm -f "$out/screen.png"
    echo "$width $height"
}
pixel() {  # file x y -> "r g b"
    convert "$out/skinned-$1.png" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:
}
# The skin's frame and caption are a dark teal: little red, more blue than red.
teal() {
    read -r r g b <<<"$(pixel "$1" "$2" "$3")"
    [ "$r" -lt 100 ] && [ "$b" -gt "$r" ] && [ "$g" -gt "$r" ] ||
        fail "$1 at $2,$3 is $r $g $b, not the skin's teal"
}

drive wait-main >/dev/null
sleep 3  # the start-up work (connectivity probe, public address) ends, the window settles
read -r width height <<<"$(shoot main main-window)"
[ "$width" = 573 ] && [ "$height" = 435 ] || fail "main window is ${width}x${height}, not 573x435"
teal main-window $((width / 2)) 6            # caption
teal main-window 2 $((height / 2))           # left frame edge
teal main-window 42 $((height - 14))         # status bar, between its first text and separator

drive about-open >/dev/null
sleep 1
read -r width height <<<"$(shoot about about-window)"
[ "$width" = 377 ] && [ "$height" = 340 ] || fail "about window is ${width}x${height}, not 377x340"
teal about-window $((width / 2)) 6
drive about-close >/dev/null

# The 统计 window, owned by the main window, is skinned like the others.
drive "toolbar 8" >/dev/null
sleep 1
read -r width height <<<"$(shoot stats stats-window)"
[ "$width" = 1048 ] && [ "$height" = 500 ] || fail "stats window is ${width}x${height}, not 1048x500"
teal stats-window $((width / 2)) 6
drive "key esc" >/dev/null

# One driver run: it must know the process before the window goes away.
code=$(drive close-main "wait-exit 20000")
[ "$code" = 0 ] || fail "Verdalo.exe ended with $code"
wineserver -w
grep -q "verdalo skin: attached" "$log" || fail "the skin was never attached"
grep -q "verdalo skin: detached" "$log" || fail "the engine was not unloaded at the end"
echo "skinned_windows: the three windows skinned, the engine unloaded at the end"
