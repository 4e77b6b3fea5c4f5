#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Lists the GoogleTest cases that a ctest run skipped (GTEST_SKIP), with the reason
# each one gave, from the run's log:
#   scripts/skipped-tests.sh build/Testing/Temporary/LastTest.log
# Prints "tests: N skipped" and one line per skipped case; never fails the run.
set -eu
log=${1:?skipped-tests: give the log of a ctest run}
[ -f "$log" ] || { echo "tests: no log $log, skips unknown"; exit 0; }
# GoogleTest prints "<file>:<line>: Skipped", the reason's lines, and then
# "[  SKIPPED ] Suite.Case (N ms)" for every case that skipped itself.
awk '
  /: Skipped$/ { reason = ""; taking = 1; next }
  taking && /^\[  SKIPPED \] [^ ]+ \(/ {
    print "  " $4 ": " (reason == "" ? "(no reason given)" : reason)
    taking = 0
    next
  }
  taking { reason = reason (reason == "" ? "" : " ") $0 }
' "$log" | sort -u >"$log.skipped"
echo "tests: $(wc -l <"$log.skipped") skipped"
cat "$log.skipped"
