#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target on its corpus for a
# bounded time; fails on the first crash, leak or sanitizer report.
#   scripts/fuzz.sh [seconds-per-target]   (default 30)
# Each target fuzz_<name> starts from fuzz/<name>/corpus, copied to a temporary
# directory so that a run never grows the tree. A crashing input is kept in
# build/fuzz/crashes/ to be replayed: build/fuzz/fuzzers/fuzz_<name> <file>.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: scripts/fuzz.sh [seconds-per-target]" >&2
  exit 2
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"

crashes=build/fuzz/crashes
mkdir -p "$crashes"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

shopt -s nullglob
targets=(build/fuzz/fuzzers/fuzz_*)
if [ "${#targets[@]}" -eq 0 ]; then
  echo "fuzz: no targets were built" >&2
  exit 1
fi

failed=0
for target in "${targets[@]}"; do
  name=${target##*/fuzz_}
  corpus=fuzz/$name/corpus
  if [ ! -d "$corpus" ]; then
    echo "fuzz: $corpus is missing" >&2
    exit 1
  fi
  mkdir -p "$work/$name"
  cp -R "$corpus/." "$work/$name/"
  echo "=== fuzz_$name: ${seconds}s ==="
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$crashes/$name-" "$work/$name" >"$work/$name.log" 2>&1; then
    tail -n 60 "$work/$name.log"
    echo "fuzz_$name FAILED (inputs in $crashes/)" >&2
    failed=1
  else
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$work/$name.log" || true
  fi
done
exit "$failed"
