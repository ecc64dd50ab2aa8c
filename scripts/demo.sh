#!/usr/bin/env bash
# The tour of the system, about a minute after the build: builds the Windows
# programs, makes a fresh Wine prefix with the network simulator, and then,
# as a user would with velkctl: the service in Wine's service manager, its
# status, the proxy core (xray's v4 ancestor, built from Debian's sources)
# started with a configuration and one request carried through its SOCKS
# inbound to a local web server, the routing table before route_start, in the
# tunnel after it, and restored after route_stop, and last the helper's and
# the core's logs. On a fresh Debian machine, run
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
cmake --build "$build" -j"$(nproc)" --target VelkVPNService netsteer velkctl \
  netsim_route netsim_netsh netsim_powershell netsim_netsim realcore >/dev/null || exit 1

started=$(date +%s)
build=$(realpath "$build")
prefix=$(realpath -m "$build/../demo/wineprefix")
server=203.0.113.7
core_exe="$build/tools/xraycore/xray.exe"
source tests/system/checks.sh
source tests/system/service_prefix.sh
source tests/system/core_traffic.sh

heading "a fresh Wine prefix with the network simulator (route, netsh, powershell)"
prepare_service_prefix 300 || exit 1
web_root=$(mktemp -d)
trap 'stop_web_server; rm -rf "$web_root"; release_prefix' EXIT
echo "Hello from the web server on 127.0.0.1, through VelkVPN's core." >"$web_root/hello.txt"
web_port=$(free_port)
socks_port=$(free_port)
start_web_server "$web_root" "$web_port" 300 || fail "the local web server did not start"
plain_core_config "$socks_port" '"loglevel": "info", "access": "access.log"' \
  >"$service_unix/core-config.json"

heading "VelkVPNService in the service control manager"
if ! start_service; then
  fail "the service does not answer on its pipe"
  finish_checks "DEMO"
  exit 1
fi
w sc query VelkVPNService

heading "status"
expect_answer status -- "$service_running"

heading "the core: xray_start with a configuration (a SOCKS inbound on 127.0.0.1:$socks_port)"
tr -d '\r' <"$service_unix/core-config.json"
expect_answer xray_start "$service_dir\\core-config.json" -- "ok=true;exitCode=0;message=xray start finished"
expect_answer xray_status -- "ok=true;exitCode=259;running=true;message=xray status"

heading "one request through the core: curl --socks5-hostname 127.0.0.1:$socks_port http://127.0.0.1:$web_port/hello.txt"
body=$(socks_get "$socks_port" "http://127.0.0.1:$web_port/hello.txt")
echo "$body"
[ "$body" = "$(cat "$web_root/hello.txt")" ] || fail "the request through the core did not come back"

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
heading "the core's output, C:\\ProgramData\\VELK-VPN\\xray_runtime_error.log"
tr -d '\r' <"$core_log"
heading "the core's access log, C:\\ProgramData\\VELK-VPN\\access.log"
tr -d '\r' <"$(dirname "$core_log")/access.log"
grep -qF "accepted tcp:127.0.0.1:$web_port" "$(dirname "$core_log")/access.log" ||
  fail "the access log does not record the request"

finish_checks "DEMO"
status=$?
echo "== demo took $(($(date +%s) - started)) s after the build"
exit $status
