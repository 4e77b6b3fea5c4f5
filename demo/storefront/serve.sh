#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds a demo data directory and serves the demo storefront for it.
#
#   demo/storefront/serve.sh <datadir-out> [<build-data-dir>]
#
# <datadir-out> is made anew: a copy of <build-data-dir> (default: build/share/velmora
# of this checkout) whose velmora_urls.dat points at the local storefront, plus
# storefront/ (the served files), storefront.port, storefront.pid and storefront.log.
# The storefront of an earlier start is kept and served again on the same port while
# its generator is unchanged (serve.py decides).
# The server keeps running in the background; stop it with
#   kill "$(cat <datadir-out>/storefront.pid)"
# Prints one line "port=<port> pid=<pid>" once the storefront answers.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: serve.sh <datadir-out> [<build-data-dir>]}
build_data=${2:-$here/../../build/share/velmora}

if [ ! -d "$build_data" ]; then
  echo "serve.sh: no build data directory at $build_data (build the tree first)" >&2
  exit 1
fi
if [ -f "$out/storefront.pid" ]; then
  old_pid=$(cat "$out/storefront.pid")
  kill "$old_pid" 2>/dev/null || true
  # Its port is to be bound again: wait (at most 2 s) until it has let go. An
  # ended server that nobody has reaped yet (a zombie) holds no port.
  running() { state=$(ps -o stat= -p "$1" 2>/dev/null) && [ "${state#Z}" = "$state" ]; }
  tries=0
  while running "$old_pid" && [ "$tries" -lt 20 ]; do
    tries=$((tries + 1))
    sleep 0.1
  done
fi
port=""
[ -f "$out/storefront.port" ] && port=$(head -n 1 "$out/storefront.port" | tr -cd 0-9)
mkdir -p "$out"
# Everything but the generated storefront is made anew.
find "$out" -mindepth 1 -maxdepth 1 ! -name storefront -exec rm -rf {} +
cp -R "$build_data"/. "$out"/
rm -f "$out/velmora_urls.dat"

setsid /usr/bin/python3 "$here/serve.py" --root "$out/storefront" \
  --urls "$out/velmora_urls.dat" --port-file "$out/storefront.port" ${port:+--port "$port"} \
  </dev/null >"$out/storefront.log" 2>&1 &
pid=$!
echo "$pid" > "$out/storefront.pid"

tries=0
while [ ! -s "$out/storefront.port" ]; do
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "serve.sh: the storefront server failed; see $out/storefront.log" >&2
    exit 1
  fi
  tries=$((tries + 1))
  if [ "$tries" -gt 600 ]; then
    echo "serve.sh: the storefront did not come up within 60 s" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
  fi
  sleep 0.1
done
echo "port=$(cat "$out/storefront.port") pid=$pid"
