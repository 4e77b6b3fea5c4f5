#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
#
# Builds the Debian packages and, with --check, proves them on this machine.
#
#   scripts/packages.sh [--check] [--out DIR]
#
# Copies the source tree (tracked and new files, no build directories) into
# DIR/src (default .packages/), runs `dpkg-buildpackage -us -uc -b` there (set
# DEB_BUILD_OPTIONS=nocheck to skip the test suite inside the build) and lintian
# on the result; the .deb files land in DIR. Lintian errors and warnings fail it.
# DIR is emptied first only when this script made it (it holds the file
# .velmora-packages); another DIR must be new or empty.
#
# --check then installs the packages on the machine (apt-get install ./*.deb,
# root or sudo), runs `velmora-demo --headless` with a state directory of its own,
# checks that the last screenshot of the card shows one of the stored items'
# pictures, and purges the packages it installed again, also when a step failed
# (Velmora packages that were installed before it ran are left installed).
set -eu
CALLER=$(pwd)
cd "$(dirname "$0")/.."
ROOT=$(pwd)

check=0
out="$ROOT/.packages" # the script's own: emptied also when an older run left it unmarked
own_out=1
while [ $# -gt 0 ]; do
  case "$1" in
    --check) check=1 ;;
    --out)
      out=${2:?--out wants a directory}
      case "$out" in /*) ;; *) out="$CALLER/$out" ;; esac # relative to where it was run
      own_out=0
      shift
      ;;
    -h | --help) sed -n '4,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "packages: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

say() { echo "packages: $*"; }
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

./scripts/install-packaging-deps.sh

# ---- Build ----
# The output directory is cleared only when it is this script's own: never a
# directory of the user's (--out . would otherwise delete the checkout).
marker=.velmora-packages
mkdir -p "$out"
out=$(cd "$out" && pwd)
case "$ROOT/" in
  "$out"/*) echo "packages: --out $out holds the source tree; give another directory" >&2; exit 2 ;;
esac
if [ -f "$out/$marker" ] || [ "$own_out" -eq 1 ]; then
  find "$out" -mindepth 1 -delete
elif [ -n "$(ls -A "$out")" ]; then
  echo "packages: $out is neither empty nor made by this script; give a new or empty directory" >&2
  exit 2
fi
echo "made by scripts/packages.sh, which empties this directory on its next run" >"$out/$marker"
mkdir -p "$out/src"
git ls-files -z --cached --others --exclude-standard |
  tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -C "$out/src" -xf -
# Two compilers at a time unless DEB_BUILD_OPTIONS says otherwise.
case " ${DEB_BUILD_OPTIONS:-} " in
  *" parallel="*) ;;
  *) DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=2" ;;
esac
export DEB_BUILD_OPTIONS
say "building in $out/src"
(cd "$out/src" && dpkg-buildpackage -us -uc -b) >"$out/build.log" 2>&1 || {
  tail -n 40 "$out/build.log" >&2
  echo "packages: dpkg-buildpackage failed; see $out/build.log" >&2
  exit 1
}
for deb in "$out"/*.deb; do
  say "built $(basename "$deb")"
done

# ---- Lintian ----
changes=$(ls "$out"/velmora_*.changes)
# Every warning is fixed or overridden (debian/*.lintian-overrides, with a comment
# saying why), so a new one fails too; so does a lintian that cannot run (its exit
# status decides, the counts only summarise).
lintian_status=0
lintian --info --display-info --pedantic --fail-on error,warning "$changes" \
  >"$out/lintian.log" 2>&1 || lintian_status=$?
errors=$(grep -c '^E: ' "$out/lintian.log" || true)
warnings=$(grep -c '^W: ' "$out/lintian.log" || true)
say "lintian: exit status $lintian_status, $errors errors, $warnings warnings (report in $out/lintian.log)"
if [ "$lintian_status" -ne 0 ]; then
  grep -E '^(E|W): ' "$out/lintian.log" >&2 || tail -n 20 "$out/lintian.log" >&2
  exit 1
fi

[ "$check" -eq 1 ] || exit 0

# ---- Install, run the installed demo, purge ----
packages="velmora-data velmora-desktop-platform velmora-desktop-platform-dev velmora-feed-plugin
  velmora-home-widget velmora-region-setup velmora-demo"
# What was installed before stays installed afterwards (upgraded to this build).
installed_before=""
ours=""
for package in $packages; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    installed_before="$installed_before $package"
  else
    ours="$ours $package"
  fi
done
[ -z "$installed_before" ] ||
  say "installed before this run, kept afterwards:$installed_before"
purge() {
  [ -n "$ours" ] || return 0
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -q $ours >"$out/purge.log" 2>&1 &&
    say "purged the packages it installed:$ours" ||
    echo "packages: purging failed; see $out/purge.log" >&2
}
trap purge EXIT
debs=$(ls "$out"/velmora-*.deb | grep -v -- '-dbgsym_')
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends \
  $debs >"$out/install.log" 2>&1 || {
  tail -n 20 "$out/install.log" >&2
  echo "packages: installing failed; see $out/install.log" >&2
  exit 1
}
say "installed: $(dpkg-query -W -f='${Package} ' $packages)"

# The GConf schema, registered by gconf2's trigger into the system defaults.
defaults="xml:readonly:/var/lib/gconf/defaults"
region=$(gconftool-2 --direct --config-source="$defaults" --get /apps/peltro/velmora/region 2>/dev/null)
[ "$region" = "velmora.com" ] || {
  echo "packages: the GConf schema is not registered (region default '$region')" >&2
  exit 1
}
say "the GConf schema is registered: /apps/peltro/velmora/region defaults to $region"

# The stand-in SDK: a third-party widget module builds against the installed
# headers and .pc files. It carries no RUNPATH into the stand-ins' private directory
# (on a real desktop it must load the real libraries): it needs the platform's
# libraries by their real SONAMEs, which the home host has loaded before it loads a
# module, and which the private directory holds.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
cat >"$out/sdk-widget.c" <<'EOF_C'
#include <hildon/hildon.h>
#include <libhildondesktop/libhildondesktop.h>
#include <libosso.h>
#include <feedserviceutils.h>
void hd_plugin_module_load(HDPluginModule *module) {
    hd_plugin_module_add_type(module, hd_home_plugin_item_get_type());
}
EOF_C
PKG_CONFIG_PATH="/usr/lib/$multiarch/velmora-platform/pkgconfig" \
  sh -c 'cc -shared -fPIC -o "$1/sdk-widget.so" "$1/sdk-widget.c" \
    $(pkg-config --cflags --libs libhildondesktop-1 hildon-1 libosso feedserviceutils)' \
  sh "$out" >"$out/sdk.log" 2>&1 || {
  cat "$out/sdk.log" >&2
  echo "packages: a widget does not build against the installed stand-in SDK" >&2
  exit 1
}
if readelf -d "$out/sdk-widget.so" | grep -qE 'RPATH|RUNPATH'; then
  readelf -d "$out/sdk-widget.so" >&2
  echo "packages: a widget built against the SDK carries a run path" >&2
  exit 1
fi
needed=$(readelf -d "$out/sdk-widget.so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' |
  grep -E '^lib(hildon|hildondesktop|osso|feedserviceutils)' | LC_ALL=C sort | tr '\n' ' ')
for lib in $needed; do
  case "$lib" in
    libfeedserviceutils.so.1 | libhildon-1.so.0 | libhildondesktop-1.so.0 | libosso.so.1) ;;
    *)
      echo "packages: a widget built against the SDK needs $lib, not a real SONAME" >&2
      exit 1
      ;;
  esac
done
case "$needed" in
  *libhildondesktop-1.so.0*) ;;
  *)
    echo "packages: a widget built against the SDK does not need libhildondesktop-1.so.0" >&2
    exit 1
    ;;
esac
if LD_LIBRARY_PATH="/usr/lib/$multiarch/velmora-platform" ldd "$out/sdk-widget.so" |
  grep -q 'not found'; then
  LD_LIBRARY_PATH="/usr/lib/$multiarch/velmora-platform" ldd "$out/sdk-widget.so" >&2
  echo "packages: the stand-ins do not provide what a widget built against the SDK needs" >&2
  exit 1
fi
say "a widget builds against the installed stand-in SDK and needs only the real SONAMEs: $needed"

state="$out/demo-state"
HOME="$out/demo-home" XDG_STATE_HOME="$state" velmora-demo --headless --seconds 15 \
  >"$out/demo.log" 2>&1 || {
  cat "$out/demo.log" >&2
  exit 1
}
shots="$state/velmora-demo/screenshots"
last=$(ls "$shots"/card-*.png 2>/dev/null | tail -n 1)
[ -n "$last" ] || { echo "packages: the demo wrote no screenshot" >&2; exit 1; }

# An item is on the card when one of the stored items' pictures is: the colour
# inside a cached picture's frame must cover a picture-sized patch of the
# screenshot (hundreds of pixels; the card's own artwork has no such flat patch).
cache="$state/velmora-demo/home/.feedservice/velmora/image-cache"
shown=""
for picture in "$cache"/*; do
  [ -f "$picture" ] || continue
  colour=$(convert "$picture" -format '%[hex:p{4,4}]' info: 2>/dev/null | cut -c1-6)
  [ -n "$colour" ] || continue
  pixels=$(convert "$last" -alpha off -fill black +opaque "#$colour" -fill white -opaque "#$colour" \
    -format '%[fx:int(mean*w*h+0.5)]' info: 2>/dev/null || echo 0)
  if [ "$pixels" -ge 500 ]; then
    shown=$picture
    break
  fi
done
if [ -z "$shown" ]; then
  echo "packages: $last shows none of the stored items' pictures" >&2
  exit 1
fi
say "the installed demo shows a stored item: $(basename "$last") holds the picture $(basename "$shown")"
