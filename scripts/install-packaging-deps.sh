#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Installs the Debian 12 packages that building and checking the .deb packages
# needs on top of scripts/install-deps.sh (debhelper, lintian, help2man...).
# Idempotent: installs only what is missing.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

PACKAGES="debhelper dpkg-dev fakeroot lintian help2man file"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  echo "install-packaging-deps: installing:$missing"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
else
  echo "install-packaging-deps: all packages present"
fi
