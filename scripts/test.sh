#!/usr/bin/env bash
# Sets up and runs every test: the house style check, the native build plain, under AddressSanitizer
# with UndefinedBehaviorSanitizer, under ThreadSanitizer, the 32-bit Windows
# build under Wine, the Windows release as it ships (its PE and import checks
# and the end-to-end runs), the Debian package with its checks, and the fuzz
# targets for about a minute in all.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --windows
echo "=== house style ==="
scripts/check-format.sh
jobs=$(nproc)
for preset in native native-asan native-tsan windows windows-release package; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done
echo "=== fuzz ==="
targets=(fuzz/*/CMakeLists.txt)
scripts/fuzz.sh $(( 60 / ${#targets[@]} > 5 ? 60 / ${#targets[@]} : 5 ))
if ! command -v wine >/dev/null 2>&1; then
  echo "NOTE: Wine is not installed: the Windows tests were built but reported as skipped, not run." >&2
fi
