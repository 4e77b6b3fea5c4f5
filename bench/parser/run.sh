#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds and runs the feed parser benchmark.   bench/parser/run.sh [build dir, default build]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
cmake --build "$build" -j2 --target velmora_parser_bench
exec "$build/bench/parser/velmora_parser_bench"
