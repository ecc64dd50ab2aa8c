#!/usr/bin/env bash
# The end-to-end demo: builds the Windows programs, makes a fresh Wine prefix
# with the network simulator, runs VelkVPNService in Wine's service manager
# and drives it with velkctl as a user would (status, the core, route_start
# and route_stop with the routing table before and after, refused starts),
# then stops and deletes the service and shows the helper's and the core's
# logs. On a fresh Debian machine, run as root, it first installs what is
# missing. Exits non-zero when a step does not give the expected answer.
#
# Usage: scripts/demo.sh [BUILD_DIR]   (default: build/windows; the prefix is
#                                       made in BUILD_DIR/../demo/wineprefix)
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/ensure-packages.sh

build=${1:-build/windows}
prefix="$(dirname "$build")/demo/wineprefix"

echo "== build the Windows programs in $build"
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target VelkVPNService netsteer fakecore velkctl \
  netsim_route netsim_netsh netsim_powershell netsim_netsim >/dev/null

start=$(date +%s)
status=0
tests/system/endtoend/endtoend.sh "$build" "$prefix" || status=$?
echo "== demo took $(($(date +%s) - start)) s"
exit $status
