#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Installs what is missing, builds everything and runs the whole test suite.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   ASan+UBSan build in build-sanitize/
# Further arguments go to CTest (for instance -L or -R to run some of the tests).
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
cmake --build "$build" -j2
if [ -n "$flags" ]; then
  # Leaks inside GTK, GConf and D-Bus libraries are theirs; ours are caught by the
  # tests' own checks. detect_leaks stays off so library caches do not fail a test.
  export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
ctest --test-dir "$build" -j2 --output-on-failure "$@"
