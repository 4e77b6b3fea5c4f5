#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds and runs the item store benchmark.   bench/store/run.sh [build dir, default build]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
[ $# -gt 0 ] && shift
cmake --build "$build" -j2 --target velmora_store_bench
exec "$build/bench/store/velmora_store_bench" "$@"
