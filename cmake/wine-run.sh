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
# Keep one wine server alive between test processes: starting a fresh one
# for every test costs seconds. It ends by itself 30 s after the last client.
# Its output must not hold the caller's pipes open.
wineserver -p30 </dev/null >/dev/null 2>&1 || true
exec wine "$@"
