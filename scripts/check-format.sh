#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Fails when a C or C++ source in the tree differs from what clang-format makes of it.
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.c' '*.cpp' '*.h' '*.hpp')
[ -z "$files" ] && exit 0
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
echo "check-format: $(echo "$files" | wc -l) files formatted"
