#!/usr/bin/env bash
# Sets up and runs every test: the house style check, the native build plain, under AddressSanitizer
# with UndefinedBehaviorSanitizer, under ThreadSanitizer, the 32-bit Windows
# build under Wine, the Windows release as it ships (its PE and import checks
# and the end-to-end runs), the Debian package with its checks, and the fuzz
# targets for about a minute in all. Where the kernel runs no 32-bit x86
# program, the Windows presets are built and their files checked, and every
# test that would run them under Wine is skipped, saying so.
# Ends with the tests that were skipped, and why, how many of each preset ran
# and were skipped, and the time each part took.
# With CI=true a skip not listed in tests/allowed-skips.txt fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
results=$PWD/build/test-results
rm -rf "$results"
mkdir -p "$results"

times=()
print_times() {
  echo "=== time per part ==="
  printf '%s\n' "${times[@]}"
  printf '%-16s %5ds\n' "total" "$SECONDS"
}
trap print_times EXIT

# part NAME COMMAND...: one part of the run, timed.
part() {
  local name=$1 start=$SECONDS status=0
  shift
  echo "=== $name ==="
  "$@" || status=$?
  times+=("$(printf '%-16s %5ds' "$name" $((SECONDS - start)))")
  [ "$status" -eq 0 ] || exit "$status"
}

# A preset that finds no test fails: it would pass having run nothing.
preset() {
  cmake --preset "$1" >/dev/null &&
    cmake --build --preset "$1" -j"$jobs" &&
    ctest --preset "$1" -j"$jobs" --no-tests=error --output-junit "$results/$1.xml"
}

part setup scripts/setup.sh --test
part "house style" scripts/check-format.sh
presets=(native native-asan native-tsan windows windows-release package)
for name in "${presets[@]}"; do
  part "$name" preset "$name"
done
targets=(fuzz/*/CMakeLists.txt)
part fuzz scripts/fuzz.sh $((60 / ${#targets[@]} > 5 ? 60 / ${#targets[@]} : 5))

strict=()
[ "${CI:-}" != true ] || strict=(--strict)
runs=()
for name in "${presets[@]}"; do
  runs+=("$name=$results/$name.xml")
done
part skips scripts/report-skips.py "${strict[@]}" tests/allowed-skips.txt "${runs[@]}"
