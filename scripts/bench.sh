#!/usr/bin/env bash
# The tool's benchmark: builds the release preset, runs every suite, prints
# one table and writes the same figures as JSON.
#   scripts/bench.sh [results.json]   (default build/bench/results.json)
# A suite is a command that prints rows "| suite | figure | value | note |"
# and, given --json FILE, writes {"suite": ..., "figures": [...]} there. To
# add one, add its command line to the list below. Suites that print a table
# of their own (min / median / p99 / max columns) go in the second list; each
# is printed under its name and its JSON is kept as it writes it.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/native-release
suites=(
  "$build/bench/poll_step_bench"
  "$build/bench/rccore_decode_bench"
  "python3 bench/tool_bench.py --build $build"
  "bench/rccore_kernel_bench.sh --build $build --program rccore_raw_bench"
)
tabled_suites=(
  "receiver library|$build/bench/rccore_latency_bench"
  "receiver library on the kernel (VM)|bench/rccore_kernel_bench.sh --build $build"
  "X11 window|$build/bench/x11_bench"
  "Windows build under Wine|bench/wine_bench.sh"
)

out=${1:-build/bench/results.json}
scripts/setup.sh --test
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j"$(nproc)" >/dev/null
mkdir -p "$(dirname "$out")"
parts=$(mktemp -d)
trap 'rm -rf "$parts"' EXIT

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
machine="$(nproc) cores, $cpu, Linux $(uname -r)"
echo "Machine: $machine"
echo
echo "| suite | figure | value | note |"
echo "|---|---|---|---|"
n=0
for suite in "${suites[@]}"; do
  n=$((n + 1))
  # Word splitting is wanted: each entry is a command line.
  # shellcheck disable=SC2086
  $suite --json "$parts/$n.json"
done
for entry in "${tabled_suites[@]}"; do
  n=$((n + 1))
  echo
  echo "${entry%%|*}:"
  # shellcheck disable=SC2086
  ${entry#*|} --json "$parts/$n.json"
done

python3 - "$out" "$machine" "$parts" "$n" <<'PY'
import json, sys
out, machine, parts, count = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
suites = [json.load(open("%s/%d.json" % (parts, i))) for i in range(1, count + 1)]
with open(out, "w") as f:
    json.dump({"machine": machine, "suites": suites}, f, indent=2)
PY
echo
echo "Figures written to $out"
