#!/bin/sh
# Run inside the kernel VM: the library's own loopback test, which must run
# there rather than skip, then the scenarios on the kernel.
#   kernel-suite.sh LIBRARY_TESTS KERNEL_TESTS [GTEST_FILTER]
library_tests=$1
kernel_tests=$2
filter=${3:-RcKernel.*}
out=$("$library_tests" --gtest_filter=RcLibrary.ReadsBackTheScancodesSentThroughTheKernelsRcLoopback 2>&1)
status=$?
echo "$out"
[ "$status" -eq 0 ] || exit "$status"
echo "$out" | grep -q '^\[  PASSED  \] 1 test' || { echo "kernel-suite: the loopback test did not run" >&2; exit 1; }
exec "$kernel_tests" --gtest_filter="$filter"
