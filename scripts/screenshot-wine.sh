#!/bin/sh
# Takes a picture of the Windows build's dialog under Wine, on the simulated
# card with a key held, for the README.
#   scripts/screenshot-wine.sh [output.png]     (default docs/wine-dialog.png)
# Needs the windows preset built: cmake --preset windows && cmake --build --preset windows
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:-docs/wine-dialog.png}
build=$root/build/windows
exe=$build/bin/RemoteMonitor.exe
run="$root/cmake/wine-run.sh"
# A state of its own: a test run in the build tree is left alone.
state=$build/wine-screenshot

scripts/setup.sh --test
[ -f "$exe" ] || { echo "screenshot-wine: build the windows preset first ($exe missing)" >&2; exit 1; }

work=$(mktemp -d)
app_pid=""
cleanup() {
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
    fi
    "$run" "$state" --teardown
    rm -rf "$work"
}
trap cleanup EXIT

"$run" "$state" --setup
DISPLAY=$(cat "$state/xvfb.display")
export DISPLAY

# Volume down on the simulated remote, held from the start.
printf '0 17 38C711EE\n' >"$work/codes.txt"
TAVRIXRC_SIM_SCRIPT="Z:$work/codes.txt" "$run" "$state" "$exe" >/dev/null 2>&1 &
app_pid=$!

title="Remote Control Test"
i=0
until xwininfo -name "$title" >"$work/win.txt" 2>/dev/null; do
    i=$((i + 1))
    [ $i -lt 100 ] || { echo "screenshot-wine: no \"$title\" window" >&2; exit 1; }
    sleep 0.1
done
# Time for the poller to fill both fields and for the dialog to repaint.
sleep 1.5
xwininfo -name "$title" >"$work/win.txt"
field() { sed -n "s/^ *$1: *//p" "$work/win.txt" | head -n 1; }
x=$(field "Absolute upper-left X")
y=$(field "Absolute upper-left Y")
w=$(field "Width")
h=$(field "Height")

mkdir -p "$(dirname "$out")"
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "screenshot-wine: $out (${w}x${h})"

# Closed as a user would: taskkill without /F asks the window to close.
"$run" "$state" taskkill /IM RemoteMonitor.exe >/dev/null 2>&1 || true
i=0
while kill -0 "$app_pid" 2>/dev/null && [ $i -lt 50 ]; do
    sleep 0.1
    i=$((i + 1))
done
