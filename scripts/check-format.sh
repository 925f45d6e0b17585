#!/bin/sh
# Checks that every C and C++ source of ours is in the house style
# (.clang-format at the top of the tree). Changes nothing; to apply the
# style to a file: clang-format -i FILE.
set -eu
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null 2>&1; then
    echo "check-format: clang-format is missing (scripts/setup.sh installs it)" >&2
    exit 1
fi

# The files git knows, so that build trees and stray files stay out.
git ls-files -z -- '*.c' '*.cpp' '*.h' ':!:build/*' | xargs -0 -r clang-format --dry-run -Werror
echo "check-format: all sources are in the house style"
