#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Runs Velmora the way its user meets it: builds this checkout, installs it into
# .demo/prefix and runs the installed velmora-demo with its state in .demo (the
# demo storefront, a private session bus with its own GConf, the feed service
# daemon with the Velmora plug-in, and the home host showing the Velmora widget).
#
#   scripts/demo.sh [--headless] [--seconds N] [--region ID] [--feed ID]
#
# On a fresh Debian 12 machine it first installs what is missing. The build goes
# to .demo/build, its output to .demo/logs/build.log (shown only when it fails).
# Settings (GConf), the item store, the caches and the generated storefront live
# under .demo/ (.demo/home is $HOME for the daemon and the widget), never in your
# real home, and a second run starts from them: the widget shows the stored items
# at once. Remove .demo to forget it all.
#
# With an X display (DISPLAY set) the widget appears on it and the demo runs until
# you press Ctrl-C (right-click the card for its settings). Without one, or with
# --headless, it runs under Xvfb for N seconds (default 30) and writes screenshots
# of the card as it fills to .demo/screenshots/card-NN.png.
#
# --region and --feed store a region identifier (velmora.ca, velmora.co.uk,
# velmora.com, velmora.de, velmora.fr) and a category identifier (bestsellers,
# movers_shakers, bestsellers_book, hotnew_books, bestsellers_music,
# bestsellers_dvd, bestsellers_electronics, bestsellers_games) before starting.
#
# Everything it starts listens on 127.0.0.1 or on a private bus or display, and is
# stopped when it ends.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
DEMO="$ROOT/.demo"
PREFIX="$DEMO/prefix"
BUILD="$DEMO/build"
LOG="$DEMO/logs/build.log"

case "${1:-}" in
  -h | --help) sed -n '3,29p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
esac

say() { echo "demo: $*"; }
mkdir -p "$DEMO/logs"
: >"$LOG"

# Runs a build step with its output in the log; a failure shows the log's end.
step() {
  if ! "$@" >>"$LOG" 2>&1; then
    tail -n 40 "$LOG" >&2
    echo "demo: '$*' failed; the whole output is in $LOG" >&2
    exit 1
  fi
}

# What is missing is installed once per version of the package list.
deps_stamp="$DEMO/deps.stamp"
deps_sum=$(sha256sum scripts/install-deps.sh | cut -d' ' -f1)
if [ "$(cat "$deps_stamp" 2>/dev/null)" != "$deps_sum" ]; then
  say "installing what the build needs"
  step ./scripts/install-deps.sh
  echo "$deps_sum" >"$deps_stamp"
fi

# ---- Build and install into the private prefix ----
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  step cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_INSTALL_RPATH="$PREFIX/lib" \
    -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF
fi
step cmake --build "$BUILD" -j2
step cmake --install "$BUILD"
say "built and installed into $PREFIX (log: $LOG)"

# ---- The installed demo, with its state here ----
exec "$PREFIX/bin/velmora-demo" --state-dir "$DEMO" "$@"
