#!/usr/bin/env bash
# The whole system under Wine: VelkVPNService in Wine's service manager,
# netsteer changing the simulated machine's routes through route, netsh and
# powershell of the network simulator, the real core as xray.exe, and velkctl
# talking to the pipe as a user would. Every answer and every routing table is
# checked; the exit status is 1 when any check failed, 0 when all passed.
#
# Usage: endtoend.sh BUILD_DIR PREFIX
#   BUILD_DIR  the windows build directory with every program built
#   PREFIX     a Wine prefix for this run; it is made afresh
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR PREFIX" >&2
  exit 2
fi
build=$(realpath "$1")
prefix=$(realpath -m "$2")
source_dir=$(cd "$(dirname "$0")/../../.." && pwd)
server=203.0.113.7
core_exe="$build/tools/xraycore/xray.exe"
source "$source_dir/tests/system/checks.sh"
source "$source_dir/tests/system/service_prefix.sh"
source "$source_dir/tests/system/core_traffic.sh"

expect_no_match() {  # TEXT PATTERN WHAT
  if grep -qE -- "$2" <<<"$1"; then fail "$3: unexpected line matching \"$2\""; fi
}
# The next command containing PATTERN is refused with the machine's words
# for an existing route; the simulator must confirm it.
refuse_next() {  # PATTERN
  local reply
  reply=$(w netsim.exe fail "$1" exists 1)
  [ "$reply" = "commands containing \"$1\" now fail" ] ||
    fail "the simulator did not take the failure for \"$1\": $reply"
}
# As expect_answer; when the answer is not the expected one, the commands
# netsteer ran are shown too.
expect_answer_showing_journal() {  # REQUEST... -- EXPECTED
  local before=$failed
  expect_answer "$@"
  if [ "$failed" -ne "$before" ]; then
    w netsim.exe journal | sed 's/^/    ran: /'
  fi
}
expect_same_table() {  # EXPECTED ACTUAL WHAT
  if [ "$1" != "$2" ]; then
    fail "$3: the routing table changed"
    diff <(echo "$1") <(echo "$2") | sed 's/^/    /'
  fi
}
# The helper log's messages written after byte MARK, without time stamps.
helper_log_since() {  # MARK
  tail -c +$(($1 + 1)) "$helper_log" | tr -d '\r' | sed 's/^\[[^]]*\] //'
}
helper_log_size() { stat -c %s "$helper_log" 2>/dev/null || echo 0; }
expect_journal() {  # WHAT, then the expected command lines on standard input
  local expected actual
  expected=$(cat)
  actual=$(w netsim.exe journal)
  echo "commands netsteer ran:"
  sed 's/^/    /' <<<"$actual"
  if [ "$actual" != "$expected" ]; then
    fail "$1: the commands run were not the expected ones"
    diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /'
  fi
  w netsim.exe journal clear >/dev/null
}

# --- a fresh prefix with the simulator, and the service directory ------------
heading "fresh Wine prefix $prefix with the network simulator"
prepare_service_prefix 900 || exit 1
socks_port=$(free_port)
plain_core_config "$socks_port" '"loglevel": "info"' >"$service_unix/core-config.json"

# --- the service -------------------------------------------------------------
heading "install and start the service"
if ! start_service; then
  fail "the service does not answer on its pipe; the remaining steps cannot run"
  exit 1
fi

heading "status and the core"
expect_answer status -- "ok=true;exitCode=0;message=service running"
expect_answer xray_start "$service_dir\\core-config.json" -- "ok=true;exitCode=0;message=xray start finished"
expect_answer xray_status -- "ok=true;exitCode=259;running=true;message=xray status"

# --- route_start: the tunnel appears on the fourth interface listing ---------
heading "routing table before route_start"
w netsim.exe tunnel-after 3
w netsim.exe journal clear >/dev/null
before=$(route_table)
echo "$before"
expect_line "$before" "          0.0.0.0          0.0.0.0      192.168.1.1     192.168.1.23     25" "before"

heading "route_start $server"
expect_answer route_start "$server" -- "ok=true;exitCode=0;message=helper finished"
query="powershell -NoProfile -WindowStyle Hidden -Command \$x = Get-NetIPAddress -AddressFamily IPv4 | Where-Object {\$_.IPAddress -eq '192.168.1.23'} | Select-Object -First 1 -ExpandProperty InterfaceIndex; if (\$x) { Write-Output \$x }"
expect_journal "route_start" <<EOF2
netsh interface ipv4 show interfaces
netsh interface ipv4 show interfaces
netsh interface ipv4 show interfaces
netsh interface ipv4 show interfaces
route print -4
$query
route add $server mask 255.255.255.255 192.168.1.1 if 12 metric 1
route print -4
route delete 0.0.0.0 mask 0.0.0.0 192.168.1.1
route add 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45 metric 1
netsh interface ipv6 add route ::/1 interface=45 store=active
netsh interface ipv6 add route 8000::/1 interface=45 store=active
EOF2

heading "routing table after route_start"
after=$(route_table)
echo "$after"
expect_line "$after" "          0.0.0.0          0.0.0.0         On-link          10.8.0.2      6" "after start"
expect_line "$after" "      203.0.113.7  255.255.255.255      192.168.1.1     192.168.1.23     26" "after start"
expect_no_match "$after" "^ +0\.0\.0\.0 +0\.0\.0\.0 +192\.168\.1\.1 " "after start"

# --- route_stop: the saved default route comes back with metric 25 -----------
heading "route_stop $server"
expect_answer route_stop "$server" -- "ok=true;exitCode=0;message=helper finished"
expect_journal "route_stop" <<EOF2
netsh interface ipv6 delete route ::/1 interface=45 store=active
netsh interface ipv6 delete route 8000::/1 interface=45 store=active
netsh interface ipv4 show interfaces
route delete 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45
route print -4
route delete $server
route add 0.0.0.0 mask 0.0.0.0 192.168.1.1 if 12 metric 25
EOF2

heading "routing table after route_stop (route metric 25 + interface metric 25)"
restored=$(route_table)
echo "$restored"
expect_line "$restored" "          0.0.0.0          0.0.0.0      192.168.1.1     192.168.1.23     50" "after stop"
expect_no_match "$restored" "^ +0\.0\.0\.0 +0\.0\.0\.0 +On-link" "after stop"
expect_no_match "$restored" "^ +203\.0\.113\.7 " "after stop"

# --- a second route_start without a stop --------------------------------------
heading "route_start twice without a stop, then route_stop"
expect_answer route_start "$server" -- "ok=true;exitCode=0;message=helper finished"
w netsim.exe journal clear >/dev/null
expect_answer route_start "$server" -- "ok=true;exitCode=0;message=helper finished"
# The leftover state is undone, the earlier tunnel default route included,
# before the same routes are made again.
expect_journal "second route_start" <<EOF2
netsh interface ipv6 delete route ::/1 interface=45 store=active
netsh interface ipv6 delete route 8000::/1 interface=45 store=active
route print -4
route delete $server
route add 0.0.0.0 mask 0.0.0.0 192.168.1.1 if 12 metric 25
netsh interface ipv4 show interfaces
route delete 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45
route print -4
$query
route add $server mask 255.255.255.255 192.168.1.1 if 12 metric 1
route print -4
route delete 0.0.0.0 mask 0.0.0.0 192.168.1.1
route add 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45 metric 1
netsh interface ipv6 add route ::/1 interface=45 store=active
netsh interface ipv6 add route 8000::/1 interface=45 store=active
EOF2
expect_same_table "$after" "$(route_table)" "after the second route_start"
expect_answer route_stop "$server" -- "ok=true;exitCode=0;message=helper finished"
w netsim.exe journal clear >/dev/null
expect_same_table "$restored" "$(route_table)" "after route_start, route_start, route_stop"

# --- DNS: route_start with the tunnel's server -------------------------------
heading "route_start $server 10.8.0.1: names go to the tunnel's server"
resolved_before=$(w netsim.exe resolve www.example.com)
expect_line "$resolved_before" "www.example.com: server 192.168.1.1 on interface 12 (Ethernet) by interface" "before DNS start"
expect_answer --raw "route_start $server 10.8.0.1" -- "ok=true;exitCode=0;message=helper finished"
expect_line "$(w netsim.exe resolve www.example.com)" "www.example.com: server 10.8.0.1 on interface 45 (velk_vpn0) by nrpt" "after DNS start"
expect_line "$(w netsim.exe show-ipv6)" "::/1 if 45 via :: active" "after DNS start"
expect_answer route_stop "$server" -- "ok=true;exitCode=0;message=helper finished"
expect_line "$(w netsim.exe resolve www.example.com)" "www.example.com: server 192.168.1.1 on interface 12 (Ethernet) by interface" "after DNS stop"
expect_no_match "$(w netsim.exe show-ipv6)" "^(::|8000::)/1 |^nrpt " "after DNS stop"
expect_same_table "$restored" "$(route_table)" "after route_start with DNS and route_stop"
w netsim.exe journal clear >/dev/null

# --- failure paths ------------------------------------------------------------
heading "failure: the server's host route already exists"
w route.exe add "$server" mask 255.255.255.255 192.168.1.1 if 12 metric 1
w netsim.exe journal clear >/dev/null
expect_answer route_start "$server" -- "ok=false;exitCode=9;message=helper finished"
refused=$(w route.exe print -4)
expect_line "$refused" "          0.0.0.0          0.0.0.0      192.168.1.1     192.168.1.23     50" "after refused start"
expect_no_match "$refused" "^ +0\.0\.0\.0 +0\.0\.0\.0 +On-link" "after refused start"
# The state file was written before the refusal, so stop puts things right.
expect_answer route_stop "$server" -- "ok=true;exitCode=0;message=helper finished"
expect_answer route_stop "$server" -- "ok=false;exitCode=7;message=helper finished"
cleaned=$(w route.exe print -4)
expect_no_match "$cleaned" "^ +203\.0\.113\.7 " "after stop of a refused start"


heading "failure: no default route with a real gateway, so no route is changed"
w route.exe delete 0.0.0.0 mask 0.0.0.0 192.168.1.1 >/dev/null
unchanged=$(route_table)
expect_answer route_start "$server" -- "ok=false;exitCode=4;message=helper finished"
expect_same_table "$unchanged" "$(route_table)" "start without a default route"
w route.exe add 0.0.0.0 mask 0.0.0.0 192.168.1.1 if 12 metric 25 >/dev/null
w netsim.exe journal clear >/dev/null

heading "failure: the tunnel's default route is refused (an injected failure)"
refuse_next "route add 0.0.0.0 mask 0.0.0.0 0.0.0.0"
expect_answer route_start "$server" -- "ok=false;exitCode=8;message=helper finished"
half=$(w route.exe print -4)
echo "$half" | grep -E '^ +(0\.0\.0\.0|203\.0\.113\.7) '
expect_line "$half" "      203.0.113.7  255.255.255.255      192.168.1.1     192.168.1.23     26" "after refused tunnel route"
expect_no_match "$half" "^ +0\.0\.0\.0 +0\.0\.0\.0 " "after refused tunnel route"
expect_answer route_stop "$server" -- "ok=true;exitCode=0;message=helper finished"
repaired=$(w route.exe print -4)
expect_line "$repaired" "          0.0.0.0          0.0.0.0      192.168.1.1     192.168.1.23     50" "after repairing stop"
expect_no_match "$repaired" "^ +203\.0\.113\.7 " "after repairing stop"
w netsim.exe journal clear >/dev/null

# --- other display languages ---------------------------------------------------
# The tools print their headings, their word for "no next hop" and their
# refusals in the language, in its console code page. The table is compared
# as the English tool prints it.
english_table() {  # LANGUAGE to return to
  w netsim.exe language en >/dev/null
  route_table
  w netsim.exe language "$1" >/dev/null
}
declare -A code_pages=([de]=CP850 [ru]=CP866 [zh]=GBK)
for lang in de ru zh; do
  heading "in language $lang: route_start and route_stop as in English"
  w netsim.exe language "$lang"
  w netsim.exe journal clear >/dev/null
  wine route.exe print -4 2>/dev/null | iconv -f "${code_pages[$lang]}" -t UTF-8 | tr -d '\r' | sed -n '7,13p'
  w netsim.exe journal clear >/dev/null
  home=$(english_table "$lang")
  expect_answer route_start "$server" -- "ok=true;exitCode=0;message=helper finished"
  switched=$(english_table "$lang")
  expect_line "$switched" "          0.0.0.0          0.0.0.0         On-link          10.8.0.2      6" "$lang: after start"
  expect_line "$switched" "      203.0.113.7  255.255.255.255      192.168.1.1     192.168.1.23     26" "$lang: after start"
  expect_no_match "$switched" "^ +0\.0\.0\.0 +0\.0\.0\.0 +192\.168\.1\.1 " "$lang: after start"
  expect_answer route_stop "$server" -- "ok=true;exitCode=0;message=helper finished"
  expect_same_table "$home" "$(english_table "$lang")" "$lang: after start and stop"

  heading "in language $lang: each refusal, in the language, gives the English refusal's code"
  w netsim.exe journal clear >/dev/null
  refuse_next "route add 0.0.0.0 mask 0.0.0.0 0.0.0.0"
  expect_answer_showing_journal route_start "$server" -- "ok=false;exitCode=8;message=helper finished"
  expect_answer route_stop "$server" -- "ok=true;exitCode=0;message=helper finished"
  w netsim.exe journal clear >/dev/null
  refuse_next "route add $server"
  expect_answer_showing_journal route_start "$server" -- "ok=false;exitCode=9;message=helper finished"
  w netsim.exe journal clear >/dev/null
  expect_answer_showing_journal route_stop "$server" -- "ok=true;exitCode=0;message=helper finished"
  expect_answer_showing_journal route_start "$server" -- "ok=true;exitCode=0;message=helper finished"
  w netsim.exe journal clear >/dev/null
  refuse_next "route add 0.0.0.0 mask 0.0.0.0 192.168.1.1"
  expect_answer_showing_journal route_stop "$server" -- "ok=false;exitCode=10;message=helper finished"
  expect_answer route_stop "$server" -- "ok=true;exitCode=0;message=helper finished"
  expect_same_table "$home" "$(english_table "$lang")" "$lang: after the refusals and the repairing stops"

  heading "in language $lang: a server route that is already there is refused as in English"
  w route.exe add "$server" mask 255.255.255.255 192.168.1.1 if 12 metric 1 >/dev/null
  w netsim.exe journal clear >/dev/null
  expect_answer_showing_journal route_start "$server" -- "ok=false;exitCode=9;message=helper finished"
  expect_answer route_stop "$server" -- "ok=true;exitCode=0;message=helper finished"
  expect_same_table "$home" "$(english_table "$lang")" "$lang: after the refused start and its stop"
done
w netsim.exe language en
w netsim.exe journal clear >/dev/null

heading "a folder someone made at the state file's path is moved aside, and start goes on"
mkdir "$state_path"
touch "$state_path/planted"
expect_answer route_start "$server" -- "ok=true;exitCode=0;message=helper finished"
[ -f "$state_path" ] || fail "start with a folder at the state path left no state file"
moved=$(find "$(dirname "$state_path")" -maxdepth 1 -type d -name "$(basename "$state_path").*")
[ -n "$moved" ] && [ -f "$moved/planted" ] ||
  fail "the folder at the state path was not moved aside whole"
expect_answer route_stop "$server" -- "ok=true;exitCode=0;message=helper finished"
expect_same_table "$restored" "$(route_table)" "after the start past a folder at the state path"
rm -rf "$moved"

heading "failure: a slow machine without the tunnel; the search ends before the service's time-out"
# Each tool answers 230 ms late: 120 lookups 500 ms apart would then take
# over 87 s whatever Wine itself costs, well past the service's 70 s.
w netsim.exe tunnel-down
w netsim.exe delay 230
unchanged=$(route_table)
started_ns=$(date +%s%N)
expect_answer route_start "$server" -- "ok=false;exitCode=3;message=helper finished"
elapsed_ms=$((($(date +%s%N) - started_ns) / 1000000))
ran=$(w netsim.exe journal)
w netsim.exe journal clear >/dev/null
listings=$(grep -c '^netsh interface ipv4 show interfaces$' <<<"$ran")
echo "code 3 after $elapsed_ms ms and $listings interface listings"
# Fewer than 120 listings: the deadline ended the search, not the count.
[ "$listings" -gt 0 ] && [ "$listings" -lt 120 ] ||
  fail "slow machine: $listings interface listings, expected fewer than 120"
expect_no_match "$ran" "^(route|powershell) " "start on a slow machine"
expect_same_table "$unchanged" "$(route_table)" "start on a slow machine"
w netsim.exe delay 0
w netsim.exe tunnel-up

heading "the core stops"
expect_answer xray_stop -- "ok=true;exitCode=0;message=xray stopped"
expect_answer xray_status -- "ok=true;exitCode=0;running=false;message=xray status"
last=$(ctl xray_last_error)
grep -qF "listening TCP on 127.0.0.1:$socks_port" <<<"$last" ||
  fail "xray_last_error does not carry the core's output"

heading "stop the service during route_start: netsteer finishes, the stop shows progress"
w netsim.exe tunnel-after 8
w netsim.exe journal clear >/dev/null
answer_file="$prefix/stop-during-start.txt"
log_mark=$(helper_log_size)
(w "$service_dir\\velkctl.exe" route_start "$server" >"$answer_file") &
answer_pid=$!
for _ in $(seq 200); do
  helper_log_since "$log_mark" | grep -qxF "[HELPER] START CALLED" && break
  sleep 0.1
done
w sc stop VelkVPNService >/dev/null
checkpoints=()
hints_ok=1
while kill -0 "$answer_pid" 2>/dev/null; do
  status=$(w sc query VelkVPNService)
  if grep -q "STOP_PENDING" <<<"$status"; then
    checkpoint=$(sed -n 's/.*CHECKPOINT *: *//p' <<<"$status")
    hint=$(sed -n 's/.*WAIT_HINT *: *//p' <<<"$status")
    checkpoints+=("$((checkpoint))")
    [ "$((hint))" -ge 3000 ] || hints_ok=0
  fi
  sleep 0.3
done
wait "$answer_pid"
answer=$(cat "$answer_file")
echo "answer while stopping: $answer"
echo "checkpoints seen while STOP_PENDING: ${checkpoints[*]}"
[ "$answer" = "ok=true;exitCode=0;message=helper finished" ] ||
  fail "stop during route_start: the client got \"$answer\""
distinct=$(printf '%s\n' "${checkpoints[@]}" | sort -nu | wc -l)
[ "$distinct" -ge 2 ] || fail "stop during route_start: the checkpoint did not advance (${checkpoints[*]})"
[ "$(printf '%s\n' "${checkpoints[@]}")" = "$(printf '%s\n' "${checkpoints[@]}" | sort -n)" ] ||
  fail "stop during route_start: the checkpoint went back (${checkpoints[*]})"
[ "$hints_ok" -eq 1 ] || fail "stop during route_start: a wait hint below 3000 ms"
for _ in $(seq 100); do
  w sc query VelkVPNService | grep -q STOPPED && break
  sleep 0.2
done
w sc query VelkVPNService | grep -q STOPPED || fail "stop during route_start: the service did not stop"
# netsteer was not ended half-way, and the stop then put the saved routing
# back: a stopped service leaves no routing into its tunnel.
expect_line "$(helper_log_since "$log_mark")" "RETURN 0: start done" "helper log of the start during the stop"
expect_line "$(helper_log_since "$log_mark")" \
  "[SERVICE] restoring the saved routing at service stop: netsteer stop $server" "helper log of the stop"
expect_line "$(helper_log_since "$log_mark")" \
  "[SERVICE] saved routing restored (netsteer stop returned 0)" "helper log of the stop"
[ -e "$state_path" ] && fail "after a stop during start: the state file is still there"
expect_same_table "$restored" "$(route_table)" "after a stop during start"
# Started again, the service finds nothing to undo.
w sc start VelkVPNService >/dev/null
wait_for_service || fail "the service does not answer after its second start"
expect_answer route_stop "$server" -- "ok=false;exitCode=7;message=helper finished"
expect_same_table "$restored" "$(route_table)" "after the stop during start and route_stop"

heading "stop and delete the service"
remove_service || fail "the service did not stop"

heading "tail of C:\\ProgramData\\ravik_helper.log"
tail -n 20 "$helper_log" 2>/dev/null | tr -d '\r'
for line in "RETURN 0: start done" "Stop Ended .... return 0" "RETURN 9: AddServerBypassRoute failed" \
  "RETURN 4: active default route not found" "RETURN 8: AddTunnelDefaultRoute failed" \
  "RETURN 3: tunnel index not found"; do
  grep -qF "$line" "$helper_log" 2>/dev/null || fail "helper log: no \"$line\""
done
heading "tail of C:\\ProgramData\\VELK-VPN\\xray_runtime_error.log"
tail -n 10 "$core_log" 2>/dev/null | tr -d '\r'

finish_checks "END TO END"
