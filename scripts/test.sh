#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Installs what is missing, builds everything and runs the whole test suite.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   ASan+UBSan build in build-sanitize/, leak detection on
# Further arguments go to CTest (for instance -L or -R to run some of the tests);
# VELMORA_BUILD_TARGETS then limits the build to the targets those tests need.
# Ends with the tests that were skipped (a case that cannot run here, such as one that
# needs root), each with its reason.
set -eu
cd "$(dirname "$0")/.."

build=build
flags=""
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  flags="-DVELMORA_SANITIZE=ON -DVELMORA_BUILD_BENCH=OFF"
  shift
fi

./scripts/install-deps.sh
cmake -S . -B "$build" $flags
# VELMORA_BUILD_TARGETS (space-separated) builds only those targets and what they need,
# for a run of some of the tests where building the whole tree costs most (under qemu).
# shellcheck disable=SC2086 # the list is split into targets on purpose
cmake --build "$build" -j2 ${VELMORA_BUILD_TARGETS:+--target $VELMORA_BUILD_TARGETS}
if [ -n "$flags" ]; then
  # Every leak of our code fails its test; what the libraries keep by design until the
  # process ends is listed, with the reason, in tests/lsan.supp.
  # Whole allocation stacks (the slow unwinder): the suppressions match on frames that
  # the fast one loses in libraries built without frame pointers.
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc=0"
  export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
status=0
ctest --test-dir "$build" -j2 --output-on-failure "$@" || status=$?
./scripts/skipped-tests.sh "$build/Testing/Temporary/LastTest.log"
exit "$status"
