#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Runs one test program in an isolated world: a fresh $HOME, a GConf that reads
# and writes only below it, a private D-Bus system bus, a private session bus
# (which starts gconfd-2 on demand) and an Xvfb display. Everything is stopped
# and removed when the program ends; its exit status is returned.
# With VELMORA_TEST_SERVICE_DIR set, the session bus also starts the services whose
# .service files that directory holds (D-Bus activation of the build tree's daemon).
set -u
. "$(dirname "$0")/../demo/gconfd.sh"

T=$(mktemp -d /tmp/velmora-test.XXXXXX)
mkdir -p "$T/home" "$T/gconf"
echo "xml:readwrite:$T/gconf" > "$T/gconf.path"
export HOME="$T/home" GCONF_DEFAULT_SOURCE_PATH="$T/gconf.path" TMPDIR="$T"
export VELMORA_TEST_TMP="$T"
export NO_AT_BRIDGE=1
# The same locale whatever the caller's (a bare chroot or CI image sets none).
export LC_ALL=C.UTF-8
unset LANG LANGUAGE
unset DBUS_SESSION_BUS_ADDRESS DISPLAY
# The user's own XDG directories would take the tests' caches and settings out of $HOME.
unset XDG_CACHE_HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_STATE_HOME

cat > "$T/system.conf" <<X
<busconfig><type>system</type><keep_umask/><listen>unix:dir=$T</listen>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
X
out=$(dbus-daemon --config-file="$T/system.conf" --fork --print-address=1 --print-pid=1)
DBUS_SYSTEM_BUS_ADDRESS=$(echo "$out" | sed -n 1p)
SYSTEM_BUS_PID=$(echo "$out" | sed -n 2p)
export DBUS_SYSTEM_BUS_ADDRESS

cleanup() {
  kill "$SYSTEM_BUS_PID" 2>/dev/null
  stop_gconfd_of "$T/home"
  rm -rf "$T"
}
# A test stopped from outside (CTest's time-out) still takes its buses with it.
# The test runs in a process group of its own (display, session bus and all), which
# is stopped as a whole.
trap 'env kill -TERM -- "-$TEST_PID" 2>/dev/null; wait "$TEST_PID"; cleanup; exit 143' TERM INT HUP

session_config=""
if [ -n "${VELMORA_TEST_SERVICE_DIR:-}" ]; then
  cat > "$T/session.conf" <<X
<busconfig><type>session</type><keep_umask/><listen>unix:dir=$T</listen>
<standard_session_servicedirs/><servicedir>$VELMORA_TEST_SERVICE_DIR</servicedir>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
X
  session_config="--config-file=$T/session.conf"
fi

# shellcheck disable=SC2086 # $session_config is one word or none
setsid xvfb-run -a -s "-screen 0 800x480x24" dbus-run-session $session_config -- "$@" &
TEST_PID=$!
wait "$TEST_PID"
status=$?
cleanup
exit $status
