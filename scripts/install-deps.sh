#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Installs every Debian 12 package that building, testing and running the demo need,
# and any further packages named as arguments: the scripts that need more name their
# own (install-packaging-deps.sh the packaging tools, scripts/fuzz.sh clang and its
# fuzzing run-time, bench/run/run.sh the feed reader it compares with).
# Idempotent: installs only what is missing.
set -eu

PACKAGES="
  build-essential cmake pkg-config clang-format git
  libglib2.0-dev libglib2.0-bin libgtk2.0-dev libgconf2-dev gconf2 gconf-service
  libdbus-1-dev libdbus-glib-1-dev libdbus-glib-1-dev-bin dbus dbus-x11
  libxml2-dev libsqlite3-dev sqlite3 libcurl4-openssl-dev
  googletest libgtest-dev libgmock-dev
  gettext librsvg2-bin help2man
  xvfb xauth x11-apps x11-utils x11-xserver-utils imagemagick xdg-utils
  python3 python3-dbus python3-gi
  procps util-linux dbus-daemon libglib2.0-dev-bin
  $*
"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  echo "install-deps: installing:$missing"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
else
  echo "install-deps: all packages present"
fi
