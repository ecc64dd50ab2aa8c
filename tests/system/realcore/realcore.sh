#!/usr/bin/env bash
# The real proxy core under the real service, in Wine's service manager: a
# plain client configuration starts and carries a request through its SOCKS
# inbound to a local web server; its access log lands in the data folder;
# xray_last_error shows its own start-up lines; xray_stop closes its port, and
# a killed service leaves no core behind. Then each configuration the service
# refuses for what the core would do with it is started by the core directly,
# outside the service, which must be seen doing it: so every refusal is shown
# to matter, and a core that reads its configuration otherwise than our
# checks do fails here. Everything listens on 127.0.0.1 only.
#
# Usage: realcore.sh BUILD_DIR PREFIX CORE_EXE
#   BUILD_DIR  the windows build directory with every program built
#   PREFIX     a Wine prefix for this run; it is made afresh
#   CORE_EXE   the real core (tools/xraycore builds it)
set -uo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 BUILD_DIR PREFIX CORE_EXE" >&2
  exit 2
fi
build=$(realpath "$1")
prefix=$(realpath -m "$2")
core_exe=$(realpath "$3")
source_dir=$(cd "$(dirname "$0")/../../.." && pwd)
source "$source_dir/tests/system/checks.sh"
source "$source_dir/tests/system/service_prefix.sh"
source "$source_dir/tests/system/core_traffic.sh"

started="ok=true;exitCode=0;message=xray start finished"
refused="ok=false;exitCode=87;message=xray start finished"
stopped="ok=true;exitCode=0;message=xray stopped"
data_dir="$prefix/drive_c/ProgramData/VELK-VPN"
configs='C:\VelkVPN\configs'
configs_unix="$service_unix/configs"

heading "fresh Wine prefix $prefix, the service with the real core as xray.exe"
prepare_service_prefix 600 || exit 1
mkdir -p "$configs_unix"
if ! start_service; then
  fail "the service does not answer on its pipe; the remaining steps cannot run"
  finish_checks "REALCORE"
  exit 1
fi

web_root=$(mktemp -d)
trap 'stop_web_server; rm -rf "$web_root"; release_prefix' EXIT
token="carried through the core $RANDOM$RANDOM"
echo "$token" >"$web_root/hello.txt"
web_port=$(free_port)
start_web_server "$web_root" "$web_port" 300 || fail "the local web server did not start"
socks_port=$(free_port)
plain_core_config "$socks_port" '"loglevel": "info", "access": "access.log"' \
  >"$configs_unix/plain.json"

# --- a plain client configuration carries a request -----------------------------
heading "xray_start with a plain client configuration (SOCKS on 127.0.0.1:$socks_port)"
expect_answer xray_start "$configs\\plain.json" -- "$started"
body=$(socks_get "$socks_port" "http://127.0.0.1:$web_port/hello.txt")
echo "through the core: $body"
[ "$body" = "$token" ] || fail "the request through the core did not come back: \"$body\""

heading "the core's access log, named \"access.log\", is in the data folder"
access="$data_dir/access.log"
for _ in $(seq 50); do
  grep -qF "accepted tcp:127.0.0.1:$web_port" "$access" 2>/dev/null && break
  sleep 0.2
done
tr -d '\r' <"$access" 2>/dev/null
grep -qF "accepted tcp:127.0.0.1:$web_port" "$access" 2>/dev/null ||
  fail "the access log in the data folder does not record the request"
stray=$(find "$prefix/drive_c" -name access.log ! -path "$access" 2>/dev/null)
[ -z "$stray" ] || fail "an access log outside the data folder: $stray"

heading "xray_last_error shows the core's own start-up lines"
last=$(ctl xray_last_error)
grep -qF "V2Ray 4.34.0 started" <<<"$last" || fail "xray_last_error lacks the core's start line"
grep -qF "listening TCP on 127.0.0.1:$socks_port" <<<"$last" ||
  fail "xray_last_error lacks the core's listening line"

heading "xray_stop closes the port and leaves no core"
expect_answer xray_stop -- "$stopped"
wait_for_port "$socks_port" 10 closed || fail "the SOCKS port still accepts after xray_stop"
wait_for_no_process 'xray.exe' 10 || fail "a core is still running after xray_stop"

# --- the service killed from outside: its job ends the core with it ----------------
heading "the service killed while its core runs"
expect_answer xray_start "$configs\\plain.json" -- "$started"
wait_for_port "$socks_port" 15 || fail "the core's SOCKS inbound does not accept"
cores=$(prefix_processes 'xray.exe')
[ -n "$cores" ] || fail "no core process to watch"
service=$(prefix_processes 'VelkVPNService.exe')
echo "core (Linux pids): $cores; service: $service"
[ -n "$service" ] && kill -9 $service
wait_for_no_process 'xray.exe' 15 || fail "the core outlived the killed service: $(prefix_processes xray.exe)"
wait_for_port "$socks_port" 10 closed || fail "the SOCKS port still accepts after the kill"
# Wine's service manager restarts nothing by itself.
w sc start VelkVPNService | grep -E 'STATE' || true
wait_for_service || fail "the service did not start again after the kill"

# --- refused by the service, done by the core started directly ---------------------
heading "each configuration the service refuses, and what the core does with it"
direct_unix="$prefix/drive_c/direct"
mkdir -p "$direct_unix/run" "$prefix/drive_c/elsewhere"
# NAME | the log object(s) | the file the core writes, relative to drive C
cases=(
  'absolute|"log": {"access": "C:\\elsewhere\\absolute.log"}|elsewhere/absolute.log'
  'climbing|"log": {"error": "..\\climbed.log"}|direct/climbed.log'
  'upper-case keys|"LOG": {"ACCESS": "C:\\elsewhere\\upper.log"}|elsewhere/upper.log'
  'second log object|"log": {"loglevel": "warning"}, "Log": {"access": "C:\\elsewhere\\second.log"}|elsewhere/second.log'
)
for entry in "${cases[@]}"; do
  IFS='|' read -r name log_objects written <<<"$entry"
  file="${name// /-}.json"
  printf '{%s, "outbounds": [{"protocol": "freedom"}]}\r\n' "$log_objects" >"$configs_unix/$file"
  target="$prefix/drive_c/$written"
  rm -f "$target"
  echo "-- $name: $log_objects"
  expect_answer xray_start "$configs\\$file" -- "$refused"
  [ -e "$target" ] && fail "$name: the refused configuration wrote C:/$written"
  if run_core_until_file "$service_dir\\xray.exe" "$direct_unix/run" "$configs\\$file" \
       "$target" 15 "$direct_unix/$file.out"; then
    echo "   the core started directly writes C:/$written"
  else
    fail "$name: the core started directly did not write C:/$written, so the refusal shows nothing"
    tr -d '\r' <"$direct_unix/$file.out" | sed 's/^/    /'
  fi
done
expect_answer xray_status -- "ok=true;exitCode=0;running=false;message=xray status"

heading "stop and delete the service"
remove_service || fail "the service did not stop"
wait_for_no_process 'xray.exe' 10 || fail "a core is left in the prefix"

finish_checks "REALCORE"
