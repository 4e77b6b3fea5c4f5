#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
#
# check_interface.sh <feed plug-in .so> <home widget .so> <libfeedserviceutils.so> <data dir>
#
# The deliverables take from the platform only what its real libraries offer: every
# name that the plug-in or the widget leaves undefined and the utilities library
# defines (or that carries one of its prefixes) is in feedserviceutils.interface, and
# every hildon_, hd_ and osso_ name that the widget leaves undefined is one the real
# libraries export (platform-names.txt). Prints one line per stray name; exits 1 if any.
set -u
plugin=$1
widget=$2
utils=$3
data=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

grep -v '^#' "$data/feedserviceutils.interface" | sort -u >"$work/interface"
sort -u "$data/platform-names.txt" >"$work/platform"
nm -D --defined-only "$utils" | awk '{print $3}' | sort -u >"$work/utils"
utils_prefixes='^(db_|query_loader_|file_watcher_|network_utils_|ensure_|check_and_download_image|delete_image_data_|feedserviceutils_)'

for module in "$plugin" "$widget"; do
  nm -D --undefined-only "$module" | awk '{print $2}' | sed 's/@.*//' | sort -u >"$work/undefined"
  { comm -12 "$work/undefined" "$work/utils"; grep -E "$utils_prefixes" "$work/undefined"; } |
    sort -u | comm -23 - "$work/interface" >"$work/stray"
  while read -r name; do
    echo "FAIL: $(basename "$module") takes $name, which the utilities library does not publish"
    status=1
  done <"$work/stray"
done

nm -D --undefined-only "$widget" | awk '{print $2}' | sed 's/@.*//' |
  grep -E '^(hildon_|hd_|osso_)' | sort -u | comm -23 - "$work/platform" >"$work/stray"
while read -r name; do
  echo "FAIL: $(basename "$widget") takes $name, which the real platform libraries do not export"
  status=1
done <"$work/stray"
exit $status
