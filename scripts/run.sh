#!/usr/bin/env bash
# Sets up, builds and runs RemoteMonitor in this terminal, on the simulated
# card. Esc, Enter or Ctrl-C closes it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
echo "Building RemoteMonitor (build/native-release)..."
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target RemoteMonitor tavrixrc_sim -j"$(nproc)" >/dev/null
exec build/native-release/bin/RemoteMonitor "$@"
