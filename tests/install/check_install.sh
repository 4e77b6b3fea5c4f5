#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
#
# check_install.sh <build dir> <configured prefix> <libdir> <this directory>
#
# Installs the build into a temporary DESTDIR and checks what a packager relies
# on. Prints one line per failed check and exits 1 if any failed.
set -u
build=$1
prefix=$2
libdir=$3
here=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! DESTDIR="$work/dest" cmake --install "$build" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi
grep -q 'configured for the prefix' "$work/install.log" &&
  fail "a DESTDIR install under the configured prefix warned about the prefix"
root="$work/dest$prefix"
platform="$root/$libdir/velmora-platform"

# ---- Everything under the prefix, in its place ----
outside=$(cd "$work/dest" && find . -type f | grep -v "^.$prefix/" | head -n 3)
[ -z "$outside" ] || fail "files outside the prefix: $outside"
for file in \
  "bin/feedservice-daemon" "bin/hd-home-host" "bin/sim-service" "bin/velmora_mcc_config" \
  "bin/velmora-demo" "$libdir/feedservice/plugins/libvelmoraserviceplugin.so" \
  "$libdir/hildon-desktop/libvelmoraapplet.so" \
  "share/applications/hildon-home/velmora.desktop" \
  "share/dbus-1/services/com.corvane.feedservice.service" \
  "share/gconf/schemas/velmora.schemas" "share/velmora/velmora_urls.dat" \
  "share/velmora/icons/Velmora_Background.png" "share/locale/de/LC_MESSAGES/velmora.mo" \
  "share/velmora-demo/storefront/serve.sh" "share/velmora-demo/gconfd.sh" \
  "include/velmora-platform/libhildondesktop-1/libhildondesktop/libhildondesktop.h" \
  "include/velmora-platform/hildon-1/hildon/hildon.h" "include/velmora-platform/libosso.h" \
  "include/velmora-platform/feedserviceutils.h"; do
  [ -e "$root/$file" ] || fail "not installed: $file"
done
for program in feedservice-daemon hd-home-host sim-service velmora_mcc_config velmora-demo; do
  [ -s "$root/share/man/man1/$program.1" ] || fail "no manual page for $program"
done
grep -qx "Exec=$prefix/bin/feedservice-daemon" \
  "$root/share/dbus-1/services/com.corvane.feedservice.service" ||
  fail "the D-Bus service file does not start $prefix/bin/feedservice-daemon"
[ -z "$(ls "$root/$libdir" | grep -E '^lib(feedserviceutils|hildon|osso)')" ] ||
  fail "stand-in libraries in the system library directory"

# ---- Stand-in libraries: the real SONAMEs, .pc files and header folders ----
for entry in feedserviceutils:1 hildondesktop-1:0 hildon-1:0 osso:1; do
  library=${entry%%:*}
  soname=$(readelf -d "$platform/lib$library.so" 2>/dev/null | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "lib$library.so.${entry##*:}" ] ||
    fail "lib$library.so has SONAME '$soname', not lib$library.so.${entry##*:}"
done
for entry in feedserviceutils:feedserviceutils.h libhildondesktop-1:libhildondesktop/libhildondesktop.h \
  hildon-1:hildon/hildon.h libosso:libosso.h; do
  pc=${entry%%:*}
  flags=$(PKG_CONFIG_PATH="$platform/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$work/dest" \
    pkg-config --libs --cflags "$pc" 2>&1) || fail "pkg-config $pc: $flags"
  case "$flags" in
    *"-I$root/include/velmora-platform"*"-L$platform"*) ;;
    *) fail "pkg-config $pc points elsewhere: $flags" ;;
  esac
  case "$flags" in *rpath*) fail "pkg-config $pc puts a RUNPATH into what links it: $flags" ;; esac
  found=0
  for dir in $(echo "$flags" | tr ' ' '\n' | sed -n 's/^-I//p'); do
    [ -f "$dir/${entry##*:}" ] && found=1
  done
  [ "$found" -eq 1 ] || fail "pkg-config $pc does not lead to <${entry##*:}>"
done
for pair in hildon-1:2.2.24 libhildondesktop-1:2.1.44 libosso:2.26; do
  version=$(PKG_CONFIG_PATH="$platform/pkgconfig" pkg-config --modversion "${pair%%:*}" 2>/dev/null)
  [ "$version" = "${pair##*:}" ] || fail "${pair%%:*} has version '$version', not ${pair##*:}"
done
widgetdir=$(PKG_CONFIG_PATH="$platform/pkgconfig" pkg-config --variable=hildondesktoplibdir libhildondesktop-1)
[ "$widgetdir" = "$prefix/$libdir/hildon-desktop" ] ||
  fail "hildondesktoplibdir is '$widgetdir', not $prefix/$libdir/hildon-desktop"
for module in "$libdir/feedservice/plugins/libvelmoraserviceplugin.so" \
  "$libdir/hildon-desktop/libvelmoraapplet.so" "bin/hd-home-host" "bin/feedservice-daemon"; do
  readelf -d "$root/$module" | grep -q "(RUNPATH).*\[$prefix/$libdir/velmora-platform\]" ||
    fail "$module does not find the stand-ins through RUNPATH"
done
# The widget needs of the platform only the device's own library files.
needed=$(readelf -d "$root/$libdir/hildon-desktop/libvelmoraapplet.so" |
  sed -n 's/.*(NEEDED).*\[\(lib\(hildon\|osso\|feedservice\)[^]]*\)\].*/\1/p' | sort | tr '\n' ' ')
[ "$needed" = "libfeedserviceutils.so.1 libhildon-1.so.0 libhildondesktop-1.so.0 libosso.so.1 " ] ||
  fail "the widget needs these platform libraries: $needed"

# ---- A widget written the documented way builds against the installed SDK ----
cat >"$work/sdkwidget.c" <<'EOF_C'
#include <hildon/hildon.h>
#include <libhildondesktop/libhildondesktop.h>
#include <libosso.h>
typedef struct { HDHomePluginItem parent; osso_context_t *osso; } SdkWidget;
typedef struct { HDHomePluginItemClass parent; } SdkWidgetClass;
HD_DEFINE_PLUGIN_MODULE(SdkWidget, sdk_widget, HD_TYPE_HOME_PLUGIN_ITEM)
static void sdk_widget_init(SdkWidget *self) {
  self->osso = osso_initialize("sdkwidget", "1.0", FALSE, NULL);
  hildon_helper_set_logical_font(GTK_WIDGET(self), "SmallSystemFont");
  hd_home_plugin_item_set_settings(HD_HOME_PLUGIN_ITEM(self), TRUE);
}
static void sdk_widget_class_init(SdkWidgetClass *klass) { (void)klass; }
static void sdk_widget_class_finalize(SdkWidgetClass *klass) { (void)klass; }
EOF_C
# The staged .pc files with their prefix moved to the staging tree (a sysroot would
# move the system's GTK+ too).
mkdir -p "$work/pc"
for pc in "$platform/pkgconfig"/*.pc; do
  sed "s|^prefix=.*|prefix=$root|" "$pc" >"$work/pc/$(basename "$pc")"
done
sdk_flags=$(PKG_CONFIG_PATH="$work/pc" pkg-config --cflags --libs libhildondesktop-1 hildon-1 libosso 2>&1)
# GTK+ 2's own headers use GLib types that GLib has deprecated since.
if cc -shared -fPIC -Wall -Wextra -Werror -Wno-deprecated-declarations -o "$work/libsdkwidget.so" "$work/sdkwidget.c" $sdk_flags \
  >"$work/sdk.log" 2>&1; then
  sdk_needed=$(readelf -d "$work/libsdkwidget.so" | sed -n 's/.*(NEEDED).*\[\(lib\(hildon\|osso\)[^]]*\)\].*/\1/p' |
    sort | tr '\n' ' ')
  [ "$sdk_needed" = "libhildon-1.so.0 libhildondesktop-1.so.0 libosso.so.1 " ] ||
    fail "a widget built with the SDK needs: $sdk_needed"
  nm -D --defined-only "$work/libsdkwidget.so" | grep -q ' T hd_plugin_module_unload$' ||
    fail "HD_DEFINE_PLUGIN_MODULE gives no hd_plugin_module_unload"
else
  cat "$work/sdk.log"
  fail "a widget does not build against the installed SDK"
fi

# ---- The deliverables take only published names from the platform ----
"$here/check_interface.sh" "$root/$libdir/feedservice/plugins/libvelmoraserviceplugin.so" \
  "$root/$libdir/hildon-desktop/libvelmoraapplet.so" "$platform/libfeedserviceutils.so" "$here" ||
  fail "a deliverable takes a name outside the platform's published interface"

# ---- The modules export exactly their interface ----
for module in "$libdir/feedservice/plugins/libvelmoraserviceplugin.so:velmoraserviceplugin" \
  "$libdir/hildon-desktop/libvelmoraapplet.so:velmoraapplet"; do
  file=${module%%:*}
  name=${module##*:}
  nm -D --defined-only "$root/$file" | awk '{print $3}' | sort >"$work/$name.actual"
  if ! grep -v "^#" "$here/$name.exports" | sort | diff -u - "$work/$name.actual" >"$work/$name.diff"; then
    fail "lib$name.so exports differ from $name.exports (- missing, + extra):"
    sed -n '4,$p' "$work/$name.diff"
  fi
done

# ---- The GConf schema's defaults and descriptions ----
source="xml:merged:$work/gconf"
GCONF_CONFIG_SOURCE="$source" gconftool-2 --makefile-install-rule \
  "$root/share/gconf/schemas/velmora.schemas" >/dev/null 2>&1 || fail "the schema does not install"
region=$(gconftool-2 --direct --config-source="$source" --get /apps/peltro/velmora/region 2>/dev/null)
[ "$region" = "velmora.com" ] || fail "schema default region '$region'"
categories=$(gconftool-2 --direct --config-source="$source" --get /apps/peltro/velmora/categories 2>/dev/null)
[ "$categories" = "[bestsellers]" ] || fail "schema default categories '$categories'"
for key in region categories; do
  [ -n "$(gconftool-2 --direct --config-source="$source" --short-docs /apps/peltro/velmora/$key 2>/dev/null)" ] &&
    [ -n "$(gconftool-2 --direct --config-source="$source" --long-docs /apps/peltro/velmora/$key 2>/dev/null)" ] ||
    fail "no short and long description for $key"
done

# ---- Command lines: --help, --version, unknown options ----
# The staged programs find the staged stand-ins, not those of the prefix.
export LD_LIBRARY_PATH="$platform"
for program in feedservice-daemon hd-home-host sim-service velmora-demo; do
  run="$root/bin/$program"
  "$run" --help >"$work/help" 2>&1 || fail "$program --help exits with $?"
  grep -q -- '--version' "$work/help" || fail "$program --help does not list --version"
  "$run" --version 2>&1 | grep -q "^$program (Velmora) " || fail "$program --version"
  "$run" --no-such-option >"$work/unknown" 2>&1
  status=$?
  [ "$status" -eq 2 ] || fail "$program --no-such-option exits with $status, not 2"
  grep -q "no-such-option" "$work/unknown" || fail "$program does not name the unknown option"
done
"$root/bin/feedservice-daemon" stray >/dev/null 2>&1
[ $? -eq 2 ] || fail "feedservice-daemon takes a stray argument"

# ---- Another prefix than the configured one is called out ----
DESTDIR="" cmake --install "$build" --prefix "$work/elsewhere" >"$work/elsewhere.log" 2>&1 ||
  fail "cmake --install --prefix elsewhere"
grep -q "configured for the prefix $prefix" "$work/elsewhere.log" ||
  fail "installing under another prefix gave no warning"

[ "$failures" -eq 0 ] || exit 1
echo "install tree: all checks passed"
