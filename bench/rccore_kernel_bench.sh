#!/usr/bin/env bash
# The receiver library on the kernel's rc-core: boots the kernel VM
# (scripts/vm/run.sh) and runs rccore_kernel_bench there. Where the VM cannot
# be had, says why and writes that instead of figures.
#   bench/rccore_kernel_bench.sh [--build DIR] [--program NAME] [--json FILE]
# --program: another of the build's bench programs for the VM
# (rccore_raw_bench), run the same way.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build="$here/../build/native-release"
program=rccore_kernel_bench
json=
while [ "$#" -ge 2 ]; do
  case "$1" in
    --build) build=$2 ;;
    --program) program=$2 ;;
    --json) json=$2 ;;
  esac
  shift 2
done
args=()
share=()
if [ -n "$json" ]; then
  : >"$json"
  json=$(cd "$(dirname "$json")" && pwd)/$(basename "$json")
  share=(--share "$(dirname "$json")")
  args=(--json "$json")
fi
status=0
"$here/../scripts/vm/run.sh" "${share[@]}" -- "$build/bench/$program" "${args[@]}" 2>"$build/$program.err" || status=$?
if [ "$status" -eq 77 ]; then
  why=$(sed -n 's/^SKIPPED: //p' "$build/$program.err")
  echo "not measured: $why"
  [ -z "$json" ] || printf '{"skipped": "%s"}\n' "$why" >"$json"
  exit 0
fi
cat "$build/$program.err" >&2
exit "$status"
