#!/bin/sh
# Runs a Windows program under Wine in the build's private prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is made on first use; creation is serialised with a lock so
# that parallel test runs do not race on it.
set -e
prefix="$1"
shift
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
if [ ! -f "$prefix/.velk-ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.velk-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      # Right after wineboot the service database stays locked for the life of
      # that wine server; wait for it to settle before anything else runs.
      wineserver -w
      touch "$prefix/.velk-ready"
    fi
  ) 9>"$prefix.lock"
fi
# Keep one wine server, and the prefix's own background programs, alive
# between test processes: starting them afresh for every test costs seconds.
# They are started here with their output on /dev/null; started by the test
# itself, they would inherit its output pipe and hold ctest waiting until the
# server ends. The start is serialised: two servers started at once for one
# prefix each record themselves in it, and the one overwritten is orphaned
# (seen here), splitting the tests between two service managers.
# scripts/test.sh ends the servers when the run is over.
server_alive() {
  for pid in $(pgrep -x wineserver64 2>/dev/null); do
    if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$prefix"; then
      return 0
    fi
  done
  return 1
}
if ! server_alive; then
  (
    flock 9
    if ! server_alive; then
      wineserver -p </dev/null >/dev/null 2>&1 || true
      wineboot </dev/null >/dev/null 2>&1 || true
    fi
  ) 9>"$prefix.lock"
fi
exec wine "$@"
