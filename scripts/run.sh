#!/usr/bin/env bash
# Sets up, builds and runs RemoteMonitor in this terminal, on the simulated
# card. Esc, Enter or Ctrl-C closes it. On a desktop too it stays in the
# terminal; REMOTEMONITOR_DISPLAY=x11 scripts/run.sh opens the window instead.
#   scripts/run.sh --receiver   the same on this machine's real IR receivers
#                               (the kernel's rc-core), installed as a package
#                               would install it, under build/native-release/receiver
set -euo pipefail
cd "$(dirname "$0")/.."
export REMOTEMONITOR_DISPLAY=${REMOTEMONITOR_DISPLAY:-terminal}
scripts/setup.sh
if [ "${1:-}" = "--receiver" ]; then
  shift
  echo "Building RemoteMonitor with the receiver library (build/native-release/receiver)..."
  cmake --preset native-release >/dev/null
  cmake --build --preset native-release --target RemoteMonitor tavrixrc_rccore rm_package_data -j"$(nproc)" >/dev/null
  cmake --install build/native-release --prefix build/native-release/receiver >/dev/null
  exec build/native-release/receiver/bin/remotemonitor "$@"
fi
echo "Building RemoteMonitor (build/native-release)..."
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target RemoteMonitor tavrixrc_sim -j"$(nproc)" >/dev/null
exec build/native-release/bin/RemoteMonitor "$@"
