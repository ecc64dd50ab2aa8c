#!/usr/bin/env bash
# The real proxy core under the real service, in Wine's service manager: a
# plain client configuration starts and carries a request through its SOCKS
# inbound to a local web server; its access log lands in the data folder;
# xray_last_error shows its own start-up lines; xray_stop closes its port, and
# a killed service leaves no core behind. Then each configuration the service
# refuses for what the core would do with it is started by the core directly,
# outside the service, which must be seen doing it: so every refusal is shown
# to matter, and a core that reads its configuration otherwise than our
# checks do fails here. Last, a configuration as a graphical client writes it
# carries traffic, and the fields that reach past the caller (a log hidden
# from one of two readers, the control API, certificate files, data files
# outside the core's folder) are shown harmless under the service and acted
# on by the core started directly. Everything listens on 127.0.0.1 only.
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
  if run_core_until "$service_dir\\xray.exe" "$direct_unix/run" "$configs\\$file" 30 \
       "$direct_unix/$file.out" test -e "$target"; then
    echo "   the core started directly writes C:/$written"
  else
    fail "$name: the core started directly did not write C:/$written, so the refusal shows nothing"
    tr -d '\r' <"$direct_unix/$file.out" | sed 's/^/    /'
  fi
done
expect_answer xray_status -- "ok=true;exitCode=0;running=false;message=xray status"

# --- a configuration as a graphical client writes it ------------------------------
heading "a graphical client's configuration: SOCKS and HTTP inbounds, statistics, rules, DNS"
http_port=$(free_port)
api_port=$(free_port)
cat >"$configs_unix/client.json" <<EOF2
{
  // as a graphical client writes it
  "log": {"loglevel": "warning", "access": "access.log"},
  "api": {"tag": "api", "services": ["StatsService"]},
  "stats": {},
  "policy": {"system": {"statsInboundUplink": true, "statsInboundDownlink": true}},
  "dns": {"hosts": {"domain:velk.test": "127.0.0.1"}, "servers": ["localhost"]},
  "inbounds": [
    {"tag": "socks", "listen": "127.0.0.1", "port": $socks_port, "protocol": "socks",
     "settings": {"auth": "noauth", "udp": true},
     "sniffing": {"enabled": true, "destOverride": ["http", "tls"]}},
    {"tag": "http", "listen": "127.0.0.1", "port": $http_port, "protocol": "http", "settings": {}},
    {"tag": "api", "listen": "127.0.0.1", "port": $api_port, "protocol": "dokodemo-door",
     "settings": {"address": "127.0.0.1"}}
  ],
  "outbounds": [
    {"tag": "direct", "protocol": "freedom", "settings": {"domainStrategy": "UseIP"}},
    {"tag": "block", "protocol": "blackhole", "settings": {}}
  ],
  "routing": {"domainStrategy": "AsIs", "rules": [
    {"type": "field", "inboundTag": ["api"], "outboundTag": "api"},
    {"type": "field", "domain": ["domain:blocked.velk.test", "keyword:velk-ads"], "outboundTag": "block"},
    {"type": "field", "ip": ["127.0.0.0/8", "::1/128"], "outboundTag": "direct"}
  ]}
}
EOF2
expect_answer xray_start "$configs\\client.json" -- "$started"
body=$(socks_get "$socks_port" "http://127.0.0.1:$web_port/hello.txt")
[ "$body" = "$token" ] || fail "SOCKS: the request through the core did not come back: \"$body\""
body=$(curl -s --max-time 10 -x "http://127.0.0.1:$http_port" "http://velk.test:$web_port/hello.txt")
[ "$body" = "$token" ] || fail "HTTP, by a name from the DNS hosts: the request did not come back: \"$body\""
body=$(socks_get "$socks_port" "http://blocked.velk.test:$web_port/hello.txt")
[ -z "$body" ] || fail "a domain rule to the blackhole let a request through"
port_accepts "$api_port" || fail "the statistics API's inbound is not open"
echo "SOCKS and HTTP carried the request, the domain rule blocked one, the statistics port is open"
expect_answer xray_stop -- "$stopped"

# --- the core runs only the document the service checked ---------------------------
heading "a log hidden from one reader behind a comment that ends at a CR"
hidden="$prefix/drive_c/elsewhere/hidden.log"
rm -f "$hidden"
# Ours ends the first comment at the CR and then reads a block comment up to
# "*/"; the core's reader runs the first comment to the LF and sees the log.
printf '{ // \r /* \n "log": {"access": "C:\\\\elsewhere\\\\hidden.log"}, // */ \n %s\n}\n' \
  '"outbounds": [{"protocol": "freedom"}]' >"$configs_unix/hidden.json"
expect_answer xray_start "$configs\\hidden.json" -- "$started"
sleep 2
[ -e "$hidden" ] && fail "the core started by the service wrote the hidden log"
grep -q "hidden" "$data_dir/xray_config.json" && fail "the copy the core reads holds the hidden log"
expect_answer xray_stop -- "$stopped"
run_core_until "$service_dir\\xray.exe" "$direct_unix/run" "$configs\\hidden.json" 30 \
  "$direct_unix/hidden.out" test -e "$hidden" ||
  fail "the core started directly did not write the hidden log, so the case shows nothing"

heading "the control API's handler service"
cat >"$configs_unix/handler.json" <<EOF2
{"api": {"tag": "api", "services": ["HandlerService", "StatsService"]},
 "inbounds": [{"tag": "api", "listen": "127.0.0.1", "port": $api_port, "protocol": "dokodemo-door",
               "settings": {"address": "127.0.0.1"}}],
 "outbounds": [{"protocol": "freedom"}],
 "routing": {"rules": [{"type": "field", "inboundTag": ["api"], "outboundTag": "api"}]}}
EOF2
expect_answer xray_start "$configs\\handler.json" -- "$refused"
port_accepts "$api_port" && fail "a control port is open after the refusal"
run_core_until "$service_dir\\xray.exe" "$direct_unix/run" "$configs\\handler.json" 30 \
  "$direct_unix/handler.out" port_accepts "$api_port" ||
  fail "the core started directly did not open its control port"

heading "a TLS certificate and key read from files"
mkdir -p "$prefix/drive_c/secret"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=velk-secret \
  -keyout "$prefix/drive_c/secret/key.pem" -out "$prefix/drive_c/secret/cert.pem" 2>/dev/null ||
  fail "openssl could not make a certificate"
tls_port=$(free_port)
cat >"$configs_unix/tls.json" <<EOF2
{"inbounds": [{"listen": "127.0.0.1", "port": $tls_port, "protocol": "http",
  "streamSettings": {"security": "tls", "tlsSettings": {"certificates": [
    {"certificateFile": "C:\\\\secret\\\\cert.pem", "keyFile": "C:\\\\secret\\\\key.pem"}]}}}],
 "outbounds": [{"protocol": "freedom"}]}
EOF2
expect_answer xray_start "$configs\\tls.json" -- "$refused"
serves_secret_certificate() {
  local handshake
  handshake=$(curl -vk --max-time 3 "https://127.0.0.1:$tls_port/" 2>&1)
  grep -q "subject: CN=velk-secret" <<<"$handshake"
}
run_core_until "$service_dir\\xray.exe" "$direct_unix/run" "$configs\\tls.json" 30 \
  "$direct_unix/tls.out" serves_secret_certificate ||
  fail "the core started directly did not serve the certificate it read from the file"

heading "an \"ext:\" data file that climbs out of the core's folder"
head -c 300 /dev/urandom >"$prefix/drive_c/secret.dat"
cat >"$configs_unix/ext.json" <<EOF2
{"routing": {"rules": [{"type": "field", "domain": ["ext:..\\\\..\\\\secret.dat:tag"], "outboundTag": "d"}]},
 "outbounds": [{"tag": "d", "protocol": "freedom"}]}
EOF2
expect_answer xray_start "$configs\\ext.json" -- "$refused"
# The core reads the file and fails on its bytes; a file it could not open
# would say so instead.
read_secret_file() {
  grep -qF 'secret.dat' "$direct_unix/ext.out" && ! grep -qF 'failed to open file' "$direct_unix/ext.out"
}
run_core_until "$service_dir\\xray.exe" "$direct_unix/run" "$configs\\ext.json" 30 \
  "$direct_unix/ext.out" read_secret_file ||
  fail "the core started directly did not read C:\\secret.dat"
tr -d '\r' <"$direct_unix/ext.out" | grep -F 'secret.dat' | sed 's/^/    /'

heading "stop and delete the service"
remove_service || fail "the service did not stop"
wait_for_no_process 'xray.exe' 10 || fail "a core is left in the prefix"

finish_checks "REALCORE"
