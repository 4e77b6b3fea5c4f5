#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Runs the refresh, the first-card and the pass benchmarks in an isolated world (Xvfb, private session
# bus with its own GConf, fresh $HOME), as the tests do.
#   bench/view/run.sh [build dir, default build] [item counts for the pass benchmark]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
[ $# -gt 0 ] && shift
cmake --build "$build" -j2 --target velmora_view_bench velmora_view_pass_bench \
  velmora_first_card_bench
export VELMORA_DATA_DIR="$build/share/velmora"
"$here/../../tests/run-isolated.sh" "$build/bench/view/velmora_view_bench"
"$here/../../tests/run-isolated.sh" "$build/bench/view/velmora_first_card_bench"
exec "$here/../../tests/run-isolated.sh" "$build/bench/view/velmora_view_pass_bench" "$@"
