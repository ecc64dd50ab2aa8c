# Sourced by the whole-system scripts under Wine, after checks.sh, with
# `build` (the windows build directory), `prefix` and `source_dir` set: a fresh
# prefix with the network simulator and the programs under test in
# C:\VelkVPN, the service registered, started and removed there, and the
# client and the simulated routing table as a user sees them.

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="

service_dir='C:\VelkVPN'
service_unix="$prefix/drive_c/VelkVPN"
helper_log="$prefix/drive_c/ProgramData/ravik_helper.log"
core_log="$prefix/drive_c/ProgramData/VELK-VPN/xray_runtime_error.log"
state_path="$prefix/drive_c/ProgramData/ravik_route_state.txt"
service_running="ok=true;exitCode=0;message=service running"

# Checks that the programs are built, makes the prefix afresh with the
# simulator, puts the programs and the fake core's configuration into
# C:\VelkVPN and holds the prefix for at most SECONDS. The core is the
# stand-in unless `core_exe` names another xray.exe (the real core). Status 1
# when a program is not built or the simulator cannot be installed.
prepare_service_prefix() {  # SECONDS
  local -A programs=(
    [VelkVPNService.exe]="$build/service/host/VelkVPNService.exe"
    [netsteer.exe]="$build/netsteer/control/netsteer.exe"
    [xray.exe]="${core_exe:-$build/tools/fakecore/xray.exe}"
    [velkctl.exe]="$build/tools/velkctl/velkctl.exe"
  )
  local name missing=()
  for name in "${!programs[@]}"; do
    [ -f "${programs[$name]}" ] || missing+=("${programs[$name]}")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "not built: ${missing[*]}" >&2
    return 1
  fi
  wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
  "$source_dir/scripts/netsim-install.sh" "$prefix" "$build" || return 1
  mkdir -p "$service_unix"
  for name in "${!programs[@]}"; do
    install -m 0755 "${programs[$name]}" "$service_unix/$name"
  done
  printf '%s\r\n' \
    '{"stats": {"fakecore": {"stdout": "fakecore: core started with the demo configuration",' \
    '              "stderr": "fakecore: socks inbound listening on 127.0.0.1:10808"}},' \
    ' "log": {"access": "access.log"}}' \
    >"$service_unix/core-config.json"
  hold_prefix "$1"
}

# Waits up to 10 s for the service to answer "status".
wait_for_service() {
  for _ in $(seq 50); do
    [ "$(w "$service_dir\\velkctl.exe" status)" = "$service_running" ] && return 0
    sleep 0.2
  done
  [ "$(w "$service_dir\\velkctl.exe" status)" = "$service_running" ]
}

# A simulated home machine, then the service registered from C:\VelkVPN and
# started. Status 1 when it does not answer on its pipe.
start_service() {
  w netsim.exe reset home
  w sc create VelkVPNService binPath= "$service_dir\\VelkVPNService.exe"
  w sc start VelkVPNService | grep -E 'STATE|SERVICE_NAME' || true
  wait_for_service
}

# Stops the service, waits up to 10 s for it to stop, and deletes it. Status 1
# when it did not stop.
remove_service() {
  w sc stop VelkVPNService | grep -E 'STATE|SERVICE_NAME' || true
  for _ in $(seq 50); do
    w sc query VelkVPNService | grep -q STOPPED && break
    sleep 0.2
  done
  local stopped=0
  w sc query VelkVPNService | grep -q STOPPED || stopped=1
  w sc delete VelkVPNService
  return $stopped
}

# velkctl with the request shown on standard error, the answer on both.
ctl() {
  echo "\$ velkctl $*" >&2
  local answer
  answer=$(w "$service_dir\\velkctl.exe" "$@")
  echo "$answer" >&2
  printf '%s' "$answer"
}
expect_answer() {  # REQUEST... -- EXPECTED
  local args=()
  while [ "$1" != "--" ]; do args+=("$1"); shift; done
  local answer
  answer=$(ctl "${args[@]}")
  [ "$answer" = "$2" ] || fail "${args[*]}: expected \"$2\", got \"$answer\""
}

# The simulated routing table; reading it is left out of the journal.
route_table() {
  w route.exe print -4
  w netsim.exe journal clear >/dev/null
}
