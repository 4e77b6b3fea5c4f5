#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Runs the whole-run benchmark in an isolated world (private session bus with its own
# GConf, fresh $HOME), as the tests do.   bench/run/run.sh [build dir, default build]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
"$here/../../scripts/install-deps.sh" newsboat # the feed reader the run is compared with
cmake --build "$build" -j2 --target velmora_run_bench
exec "$here/../../tests/run-isolated.sh" "$build/bench/run/velmora_run_bench"
