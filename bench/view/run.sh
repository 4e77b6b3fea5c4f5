#!/bin/sh
# Runs the refresh benchmark in an isolated world (Xvfb, private session bus with its
# own GConf, fresh $HOME), as the tests do.   bench/view/run.sh [build dir, default build]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
cmake --build "$build" -j2 --target velmora_view_bench
VELMORA_DATA_DIR="$build/share/velmora" \
  exec "$here/../../tests/run-isolated.sh" "$build/bench/view/velmora_view_bench"
