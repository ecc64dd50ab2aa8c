#!/usr/bin/env bash
# The tour of the system, about a minute after the build: builds the Windows
# programs, makes a fresh Wine prefix with the network simulator, and then,
# as a user would with velkctl: the service in Wine's service manager, its
# status, the stand-in core started with a configuration, the routing table
# before route_start, in the tunnel after it, and restored after route_stop,
# and last the helper's and the core's logs. On a fresh Debian machine, run
# as root, it first installs what is missing. Exits non-zero when a step does
# not give the expected answer. Every case, refusal and language is checked
# by tests/system/endtoend/endtoend.sh (ctest -R EndToEnd).
#
# Usage: scripts/demo.sh [BUILD_DIR]   (default: build/windows; the prefix is
#                                       made in BUILD_DIR/../demo/wineprefix)
set -uo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

source scripts/ensure-packages.sh

build=${1:-build/windows}
echo "== build the Windows programs in $build"
cmake --preset windows -B "$build" >/dev/null || exit 1
cmake --build "$build" -j"$(nproc)" --target VelkVPNService netsteer fakecore velkctl \
  netsim_route netsim_netsh netsim_powershell netsim_netsim >/dev/null || exit 1

started=$(date +%s)
build=$(realpath "$build")
prefix=$(realpath -m "$build/../demo/wineprefix")
server=203.0.113.7
source tests/system/checks.sh
source tests/system/service_prefix.sh

heading "a fresh Wine prefix with the network simulator (route, netsh, powershell)"
prepare_service_prefix 300 || exit 1

heading "VelkVPNService in the service control manager"
if ! start_service; then
  fail "the service does not answer on its pipe"
  finish_checks "DEMO"
  exit 1
fi
w sc query VelkVPNService

heading "status"
expect_answer status -- "$service_running"

heading "the core: xray_start with the stand-in xray.exe and its configuration"
expect_answer xray_start "$service_dir\\core-config.json" -- "ok=true;exitCode=0;message=xray start finished"
expect_answer xray_status -- "ok=true;exitCode=259;running=true;message=xray status"

heading "the routing table before route_start: the default route leads to the home router"
w netsim.exe tunnel-up >/dev/null
before=$(route_table)
echo "$before"
expect_line "$before" "          0.0.0.0          0.0.0.0      192.168.1.1     192.168.1.23     25" "before"

heading "route_start $server: the server stays on the home router, everything else goes into the tunnel"
expect_answer route_start "$server" -- "ok=true;exitCode=0;message=helper finished"

heading "the routing table in the tunnel (adapter 45, address 10.8.0.2)"
after=$(route_table)
echo "$after"
expect_line "$after" "          0.0.0.0          0.0.0.0         On-link          10.8.0.2      6" "in the tunnel"
expect_line "$after" "      203.0.113.7  255.255.255.255      192.168.1.1     192.168.1.23     26" "in the tunnel"

heading "route_stop $server"
expect_answer route_stop "$server" -- "ok=true;exitCode=0;message=helper finished"

heading "the routing table restored (the saved default route, route metric 25 + interface metric 25)"
restored=$(route_table)
echo "$restored"
expect_line "$restored" "          0.0.0.0          0.0.0.0      192.168.1.1     192.168.1.23     50" "restored"
grep -qE "^ +203\.0\.113\.7 " <<<"$restored" && fail "restored: the server's route is still there"

heading "the core stops; xray_last_error shows what it wrote"
expect_answer xray_stop -- "ok=true;exitCode=0;message=xray stopped"
ctl xray_last_error >/dev/null

heading "stop and delete the service"
remove_service || fail "the service did not stop"

heading "the helper log, C:\\ProgramData\\ravik_helper.log"
tr -d '\r' <"$helper_log"
heading "the core's log, C:\\ProgramData\\VELK-VPN\\xray_runtime_error.log"
tr -d '\r' <"$core_log"

finish_checks "DEMO"
status=$?
echo "== demo took $(($(date +%s) - started)) s after the build"
exit $status
