#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Installs the Debian 12 packages that building and checking the .deb packages
# needs on top of those of scripts/install-deps.sh (debhelper, lintian, help2man...).
# Idempotent: installs only what is missing.
set -eu
cd "$(dirname "$0")/.."
exec ./scripts/install-deps.sh debhelper dpkg-dev fakeroot lintian help2man file
