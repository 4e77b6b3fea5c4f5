# SPDX-License-Identifier: LGPL-2.1-or-later
# gconfd.sh - sourced (not run) by the test runner (tests/run-isolated.sh) and the demo
# (velmora-demo, which finds it installed beside its storefront).
#
#   stop_gconfd_of HOME_DIR
#
# Stops the GConf daemons that serve the given home directory, and only those:
# gconfd-2 may outlive the session bus that started it, and other tests or demos
# may run beside this one with daemons of their own (each has its own HOME).
stop_gconfd_of() {
  for gconfd_pid in $(pgrep -x gconfd-2 2>/dev/null); do
    if tr '\0' '\n' 2>/dev/null <"/proc/$gconfd_pid/environ" | grep -qxF "HOME=$1"; then
      kill "$gconfd_pid" 2>/dev/null || true
    fi
  done
}
