#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Runs the bounded-waits benchmark in an isolated world (private session bus with its
# own GConf, Xvfb, fresh $HOME), as the tests do.   bench/waits/run.sh [build dir]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
cmake --build "$build" -j2 --target velmora_waits_bench
exec "$here/../../tests/run-isolated.sh" "$build/bench/waits/velmora_waits_bench"
