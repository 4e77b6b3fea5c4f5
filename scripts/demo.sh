#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Runs Velmora the way its user meets it: the demo storefront, a private session
# bus with its own GConf, the feed service daemon with the Velmora plug-in, and the
# home host showing the Velmora widget.
#
#   scripts/demo.sh [--headless] [--seconds N] [--region ID] [--feed ID]
#
# On a fresh Debian 12 machine it installs what is missing, builds into
# .demo/build and installs into .demo/prefix. Settings (GConf) and the item store
# live under .demo/ (.demo/home is $HOME for the daemon and the widget), never in
# your real home, and a second run starts from them: the widget shows the stored
# items at once.
#
# With an X display (DISPLAY set) the widget appears on it and the demo runs until
# you press Ctrl-C (right-click the card for its settings). Without one, or with
# --headless, it runs under Xvfb for N seconds (default 30) and writes screenshots
# of the card as it fills to .demo/screenshots/card-NN.png.
#
# --region and --feed store a region identifier (velmora.ca, velmora.co.uk,
# velmora.com, velmora.de, velmora.fr) and a category identifier (bestsellers,
# movers_shakers, bestsellers_book, hotnew_books, bestsellers_music,
# bestsellers_dvd, bestsellers_electronics, bestsellers_games) before starting;
# an identifier that the URL catalogue (data/velmora_urls.dat) lacks is refused
# with the list of valid ones.
#
# Everything it starts listens on 127.0.0.1 or on a private bus or display, and is
# stopped when it ends.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
DEMO="$ROOT/.demo"
PREFIX="$DEMO/prefix"
BUILD="$DEMO/build"

headless=0
seconds=30
region=""
feed=""
while [ $# -gt 0 ]; do
  case "$1" in
    --headless) headless=1 ;;
    --seconds) seconds=${2:?--seconds wants a number}; shift ;;
    --region) region=${2:?--region wants a region identifier}; shift ;;
    --feed) feed=${2:?--feed wants a category identifier}; shift ;;
    -h|--help) sed -n '3,28p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
case "$seconds" in ''|*[!0-9]*) echo "demo: --seconds wants a number" >&2; exit 2 ;; esac

# Regions are the URL catalogue's sections; feeds the keys of a region's section,
# but for its home page and link suffix.
catalogue="$ROOT/data/velmora_urls.dat"
regions=$(sed -n 's/^\[\(.*\)\]$/\1/p' "$catalogue")
feeds_of() {
  awk -v region="[$1]" '
    /^\[/ { inside = ($0 == region); next }
    inside && /^[A-Za-z_]+=/ { key = substr($0, 1, index($0, "=") - 1)
      if (key != "homepage" && key != "link_url_suffix") print key }' "$catalogue"
}
listed() { echo "$2" | grep -qxF -- "$1"; }
if [ -n "$region" ] && ! listed "$region" "$regions"; then
  echo "demo: unknown region \"$region\"; valid regions:" $regions >&2
  exit 2
fi
feeds=$(feeds_of "${region:-velmora.com}")
if [ -n "$feed" ] && ! listed "$feed" "$feeds"; then
  echo "demo: unknown feed \"$feed\"; valid feeds:" $feeds >&2
  exit 2
fi

say() { echo "demo: $*"; }

# ---- Build and install into the private prefix ----
./scripts/install-deps.sh
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_INSTALL_LIBDIR=lib \
  -DCMAKE_INSTALL_RPATH="$PREFIX/lib" \
  -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j2
cmake --install "$BUILD" >/dev/null
say "installed into $PREFIX"

# ---- The demo's own world ----
mkdir -p "$DEMO/home" "$DEMO/gconf" "$DEMO/logs"
rm -rf "$DEMO/screenshots"
echo "xml:readwrite:$DEMO/gconf" > "$DEMO/gconf.path"

pids=""
bus_pid=""
cleanup() {
  status=$?
  trap - EXIT INT TERM
  for pid in $pids; do
    kill "$pid" 2>/dev/null || true
  done
  if [ -f "$DEMO/data/storefront.pid" ]; then
    kill "$(cat "$DEMO/data/storefront.pid")" 2>/dev/null || true
  fi
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  # The GConf daemon that served this demo (it may outlive its bus), and only it.
  for pid in $(pgrep -x gconfd-2 2>/dev/null); do
    if tr '\0' '\n' 2>/dev/null < "/proc/$pid/environ" | grep -qx "HOME=$DEMO/home"; then
      kill "$pid" 2>/dev/null || true
    fi
  done
  wait 2>/dev/null || true
  say "stopped"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The storefront on 127.0.0.1, and a data directory whose URL catalogue names it.
storefront=$(demo/storefront/serve.sh "$DEMO/data" "$PREFIX/share/velmora")
say "storefront on http://127.0.0.1:$(echo "$storefront" | sed -n 's/^port=\([0-9]*\).*/\1/p')/"

# Keep the real X authority before $HOME moves into the demo.
if [ -n "${DISPLAY:-}" ]; then
  export XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}"
fi
export HOME="$DEMO/home"
export GCONF_DEFAULT_SOURCE_PATH="$DEMO/gconf.path"
export VELMORA_DATA_DIR="$DEMO/data"
export NO_AT_BRIDGE=1
unset DBUS_SESSION_BUS_ADDRESS FEEDSERVICE_PLUGIN_DIR HD_HOME_PLUGIN_DIR

# A private session bus (a socket of its own, no TCP); GConf starts on it on demand.
bus=$(dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1)
DBUS_SESSION_BUS_ADDRESS=$(echo "$bus" | sed -n 1p)
bus_pid=$(echo "$bus" | sed -n 2p)
export DBUS_SESSION_BUS_ADDRESS

if [ -n "$region" ]; then
  gconftool-2 --type string --set /apps/peltro/velmora/region "$region"
fi
if [ -n "$feed" ]; then
  gconftool-2 --type list --list-type string --set /apps/peltro/velmora/categories "[$feed]"
fi

"$PREFIX/bin/feedservice-daemon" >"$DEMO/logs/daemon.log" 2>&1 &
pids="$! $pids"

# ---- The display ----
if [ "$headless" -eq 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  on_screen=1
else
  on_screen=0
  rm -f "$DEMO/xvfb.display"
  Xvfb -displayfd 3 -screen 0 800x480x24 -nolisten tcp 3>"$DEMO/xvfb.display" \
    >"$DEMO/logs/xvfb.log" 2>&1 &
  pids="$! $pids"
  tries=0
  while [ ! -s "$DEMO/xvfb.display" ]; do
    tries=$((tries + 1))
    [ "$tries" -gt 100 ] && { echo "demo: Xvfb did not start" >&2; exit 1; }
    sleep 0.1
  done
  export DISPLAY=":$(head -n 1 "$DEMO/xvfb.display")"
  unset XAUTHORITY
fi

# ---- The home host with the widget ----
"$PREFIX/bin/hd-home-host" --position 40,40 \
  "$PREFIX/share/applications/hildon-home/velmora.desktop" >"$DEMO/logs/host.log" 2>&1 &
host_pid=$!
pids="$host_pid $pids"

if [ "$on_screen" -eq 1 ]; then
  say "the Velmora card is on your display $DISPLAY; right-click it for its settings."
  say "press Ctrl-C to stop (logs in $DEMO/logs)"
  wait "$host_pid" || true
  exit 0
fi

# Headless: photograph the card every few seconds while it fills.
mkdir -p "$DEMO/screenshots"
say "no display: running under Xvfb $DISPLAY for $seconds s, screenshots in $DEMO/screenshots"
card_window() {
  xwininfo -root -tree 2>/dev/null | grep '"Hd-home-host"' | grep ' 396x200+' |
    head -n 1 | awk '{print $1}'
}
# Every second at first, to catch the card filling, then every three seconds.
shot=0
start=$(date +%s)
while [ $(($(date +%s) - start)) -lt "$seconds" ]; do
  if ! kill -0 "$host_pid" 2>/dev/null; then
    echo "demo: the home host ended early; see $DEMO/logs/host.log" >&2
    exit 1
  fi
  window=$(card_window)
  if [ -n "$window" ]; then
    shot=$((shot + 1))
    file=$(printf '%s/card-%02d.png' "$DEMO/screenshots" "$shot")
    import -window "$window" "$file" 2>/dev/null && say "wrote $file"
  fi
  if [ "$shot" -lt 6 ]; then sleep 1; else sleep 3; fi
done
say "done after $seconds s"
