#!/bin/sh
# Checks that every C and C++ source of ours is in the house style
# (.clang-format at the top of the tree). Changes nothing; to apply the
# style to a file: clang-format -i FILE.
# A check that could not list the sources fails: it must never pass having
# checked nothing.
set -eu
cd "$(dirname "$0")/.."

fail() {
    echo "check-format: $*" >&2
    exit 1
}
for tool in clang-format git; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (scripts/setup.sh --test installs it)"
done

# The files git knows, so that build trees and stray files stay out.
list=$(mktemp)
trap 'rm -f "$list"' EXIT
git ls-files -z -- '*.c' '*.cpp' '*.h' ':!:build/*' >"$list" || fail "git cannot list the sources (not a git checkout?)"
count=$(tr -cd '\000' <"$list" | wc -c)
[ "$count" -gt 0 ] || fail "git lists no C or C++ sources"
xargs -0 clang-format --dry-run -Werror <"$list"
echo "check-format: all $count sources are in the house style"
