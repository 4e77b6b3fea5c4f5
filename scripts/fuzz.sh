#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds the libFuzzer targets of tests/fuzz (clang-14, ASan+UBSan, in build-fuzz/) and
# runs each for the given number of seconds (default 30), one after another.
#   scripts/fuzz.sh [seconds per target] [target...]
# Each target starts from its seeds in tests/fuzz/corpus/<target>/ (never written to) and
# a work corpus in build-fuzz/fuzz-corpus/<target>/ that grows across runs. An input that
# crashes, trips a sanitizer or a target's own check is kept in
# build-fuzz/fuzz-artifacts/<target>/; after the fix, copy it into the seeds.
# Logs: build-fuzz/fuzz-logs/<target>.log. Ends with one line
#   fuzz: N targets, M executions, K crashes
# and a non-zero exit status when K is not 0.
set -eu
cd "$(dirname "$0")/.."

seconds="${1:-30}"
[ $# -gt 0 ] && shift
targets="${*:-fuzz_feed_parser fuzz_patterns fuzz_format_query fuzz_catalogue fuzz_region
  fuzz_price_age fuzz_item_reader fuzz_http_response}"

./scripts/install-deps.sh clang-14 libclang-rt-14-dev >&2
build=build-fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
  launcher=""
  if command -v ccache >/dev/null; then
    launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
  fi
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" $launcher -DVELMORA_FUZZ=ON \
    -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF >&2
fi
cmake --build "$build" -j2 --target velmora_fuzz >&2

# Leaks are reported only when memory grows with the inputs (libFuzzer's own check).
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Scratch files of the targets (catalogues, item databases) go to memory when it can be had.
scratch="$build"
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
tmp="$scratch/velmora-fuzz.$$"
mkdir -p "$tmp" "$build/fuzz-logs"
TMPDIR="$(cd "$tmp" && pwd)"
export TMPDIR

count=0
executions=0
crashes=0
for target in $targets; do
  seeds="tests/fuzz/corpus/$target"
  work="$build/fuzz-corpus/$target"
  artifacts="$build/fuzz-artifacts/$target/"
  log="$build/fuzz-logs/$target.log"
  mkdir -p "$seeds" "$work" "$artifacts"
  set -- -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts"
  [ -f "tests/fuzz/$target.dict" ] && set -- "$@" -dict="tests/fuzz/$target.dict"
  [ -f "tests/fuzz/$target.options" ] && set -- "$@" $(cat "tests/fuzz/$target.options")
  status=0
  "$build/fuzz/$target" "$@" "$work" "$seeds" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  runs=${runs:-0}
  if [ "$status" -ne 0 ] || grep -q -e '^==[0-9]*==ERROR' -e 'runtime error:' "$log"; then
    crashes=$((crashes + 1))
    echo "$target FAILED (exit $status), see $log and $artifacts" >&2
    grep -m 5 -e 'ERROR' -e 'runtime error:' -e 'fuzz check failed' "$log" >&2 || true
  fi
  features=$(sed -n 's/.*DONE.*ft: *\([0-9]*\).*/\1/p' "$log" | tail -n 1)
  edges=$(sed -n 's/.*DONE.*cov: *\([0-9]*\).*/\1/p' "$log" | tail -n 1)
  rate=$(sed -n 's/.*DONE.*exec\/s: *\([0-9]*\).*/\1/p' "$log" | tail -n 1)
  echo "$target: $runs executions, ${rate:-?} exec/s, ${edges:-?} edges, ${features:-?} features" >&2
  count=$((count + 1))
  executions=$((executions + runs))
done
rm -rf "$tmp"

echo "fuzz: $count targets, $executions executions, $crashes crashes"
[ "$crashes" -eq 0 ]
