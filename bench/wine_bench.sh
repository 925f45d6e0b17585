#!/bin/sh
# Measures the Windows release of RemoteMonitor.exe under Wine, with an X
# server and a Wine prefix of its build tree's own (cmake/wine-run.sh): the
# key-to-field latency over a scripted card, close times with a live driver
# and a stuck one, the peak working set. Prints a table.
#
#   bench/wine_bench.sh [--preset PRESET] [--changes N] [--json FILE]
set -eu
cd "$(dirname "$0")/.."
preset=windows-release
changes=600
json=
while [ $# -gt 0 ]; do
    case $1 in
    --preset) preset=$2; shift 2 ;;
    --changes) changes=$2; shift 2 ;;
    --json) json=$2; shift 2 ;;
    *) echo "usage: $0 [--preset PRESET] [--changes N] [--json FILE]" >&2; exit 2 ;;
    esac
done

build=build/$preset
cmake --preset "$preset" >/dev/null
nice cmake --build --preset "$preset" -j2 --target wine_bench >/dev/null

state=$build/wine
run=cmake/wine-run.sh
"$run" "$state" --setup
trap '"$run" "$state" --teardown' EXIT

set -- "Z:$PWD/$build/bin/RemoteMonitor.exe" "Z:$PWD/$build/fakes/full/TavrixRC.dll" --changes "$changes"
if [ -n "$json" ]; then
    case $json in
    /*) ;;
    *) json=$PWD/$json ;;
    esac
    set -- "$@" --json "Z:$json"
fi
"$run" "$state" "$build/bench/wine/wine_bench.exe" "$@"
