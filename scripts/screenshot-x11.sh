#!/bin/sh
# Takes a picture of the native build's X11 window, on an X server of its own
# (Xvfb) and on the simulated card with a key held, for the README.
#   scripts/screenshot-x11.sh [output.png]     (default docs/x11-dialog.png)
# Needs the native preset built: cmake --preset native && cmake --build --preset native
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:-docs/x11-dialog.png}
exe=$root/build/native/bin/RemoteMonitor

scripts/setup.sh --test
[ -x "$exe" ] || { echo "screenshot-x11: build the native preset first ($exe missing)" >&2; exit 1; }

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A server of our own: it picks a free display itself and tells us which
# (-displayfd), as cmake/wine-run.sh and the tests' servers do.
setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
i=0
until [ -s "$work/display" ]; do
    i=$((i + 1))
    [ $i -lt 100 ] && kill -0 "$xvfb_pid" 2>/dev/null || { echo "screenshot-x11: Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done
DISPLAY=":$(tr -d '\n' <"$work/display")"
export DISPLAY

# Volume down on the simulated remote, held from the start.
printf '0 17 38C711EE\n' >"$work/codes.txt"
TAVRIXRC_SIM_SCRIPT="$work/codes.txt" REMOTEMONITOR_DISPLAY=x11 "$exe" >/dev/null 2>&1 </dev/null &
app_pid=$!

title="Remote Control Test"
i=0
until id=$(xdotool search --name "^$title\$" 2>/dev/null | head -n 1) && [ -n "$id" ]; do
    i=$((i + 1))
    [ $i -lt 100 ] || { echo "screenshot-x11: no \"$title\" window" >&2; exit 1; }
    sleep 0.1
done
# Time for the poller to fill both fields and for the dialog to repaint.
sleep 1
mkdir -p "$(dirname "$out")"
import -window "$id" "$out"
echo "screenshot-x11: wrote $out"
