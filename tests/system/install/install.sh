#!/usr/bin/env bash
# Installs the product as a user would, under Wine in a fresh prefix with the
# network simulator, and checks each step:
#   1. the MSI (fakecore as the core) with msiexec /i /qn: the service runs
#      from "C:\Program Files\VelkVPN" with the package's settings, restart
#      on failure and the event log source included, and answers velkctl;
#      a repair then runs neither the group's nor the event source's step
#      again;
#   2. a higher version over it: one product left, the service answers again;
#   3. with a route state file from a real route_start, msiexec /x: the saved
#      default route is back, the service and the programs are gone, the logs
#      stay;
#   4. install_service.cmd from a temporary folder registers the service from
#      "C:\Program Files\VelkVPN"; uninstall_service.cmd removes it again.
# Before 1 and 4 another account's data folder is planted, with a link
# inside: each installer moves it aside whole and makes the folder anew.
# Exit status 1 when any check failed.
#
# Usage: install.sh PREFIX BUILD_DIR VERSION SERVICE NETSTEER VELKCTL VELKSETUP
#                   FAKECORE PROBE
set -uo pipefail

if [ $# -ne 9 ]; then
  echo "usage: $0 PREFIX BUILD_DIR VERSION SERVICE NETSTEER VELKCTL VELKSETUP FAKECORE PROBE" >&2
  exit 2
fi
prefix=$(realpath -m "$1")
build=$(realpath "$2")
version=$3
service_exe=$4 netsteer_exe=$5 velkctl_exe=$6 velksetup_exe=$7 fakecore_exe=$8 probe_exe=$9
source_dir=$(cd "$(dirname "$0")/../../.." && pwd)
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="

program_dir='C:\Program Files\VelkVPN'
program_unix="$prefix/drive_c/Program Files/VelkVPN"
helper_log="$prefix/drive_c/ProgramData/ravik_helper.log"
state_path="$prefix/drive_c/ProgramData/ravik_route_state.txt"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
server=203.0.113.7
running_answer="ok=true;exitCode=0;message=service running"
source "$source_dir/tests/system/checks.sh"

velkctl() { w "$program_dir\\velkctl.exe" "$@"; }
probe() { w "$prefix/drive_c/service_probe.exe" VelkVPNService; }
field() { sed -n "s/^$1=//p" <<<"$2"; }
expect_field() {  # PROBE_OUTPUT KEY EXPECTED WHAT
  local value
  value=$(field "$2" "$1")
  [ "$value" = "$3" ] || fail "$4: $2 is \"$value\", expected \"$3\""
}
wait_for_answer() {
  for _ in $(seq 100); do
    [ "$(velkctl status)" = "$running_answer" ] && return 0
    sleep 0.2
  done
  return 1
}
data_unix="$prefix/drive_c/ProgramData/VELK-VPN"
decoy_unix="$prefix/drive_c/ProgramData/velk-link-decoy"
# A data folder made before the install by someone else, with a file and a
# link to a decoy folder inside (a Unix link: Wine makes no junctions).
plant_data_folder() {
  rm -rf "$data_unix" "$data_unix".* "$decoy_unix"
  mkdir -p "$data_unix" "$decoy_unix"
  echo planted >"$data_unix/planted.txt"
  ln -s "$decoy_unix" "$data_unix/x"
}
# The planted folder is beside a new data folder, whole; nothing reached the decoy.
expect_planted_moved() {  # WHAT
  [ -d "$data_unix" ] && [ ! -L "$data_unix" ] || fail "$1: there is no data folder"
  [ ! -e "$data_unix/planted.txt" ] && [ ! -L "$data_unix/x" ] ||
    fail "$1: the planted data folder was kept"
  local moved=("$data_unix".*)
  [ "${#moved[@]}" -eq 1 ] && [ -L "${moved[0]}/x" ] &&
    [ "$(cat "${moved[0]}/planted.txt" 2>/dev/null)" = planted ] ||
    fail "$1: the planted data folder was not moved aside whole: ${moved[*]}"
  [ -z "$(ls -A "$decoy_unix")" ] || fail "$1: something was written through the planted link"
}
# The registered products named VelkVPN, as "DisplayVersion" values.
product_versions() {
  w reg query "$uninstall_key" /s | awk '
    /^HKEY_/ { name = ""; version = "" }
    /DisplayName/ { name = $NF }
    /DisplayVersion/ { version = $NF }
    name == "VelkVPN" && version != "" { print version; name = "" }'
}
# The settings both installers must give the service.
expect_service_settings() {  # WHAT
  local p
  p=$(probe)
  echo "$p" | sed 's/^/    /'
  expect_field "$p" state RUNNING "$1"
  expect_field "$p" running "$program_dir\\VelkVPNService.exe" "$1"
  local binary
  binary=$(field binary "$p")
  [ "${binary//\"/}" = "$program_dir\\VelkVPNService.exe" ] ||
    fail "$1: registered from \"$binary\""
  expect_field "$p" type own-process "$1"
  expect_field "$p" start auto "$1"
  expect_field "$p" account LocalSystem "$1"
  expect_field "$p" display "VelkVPN Service" "$1"
  expect_field "$p" description "Starts the VPN core and changes the routes for the VelkVPN client." "$1"
  local recovery
  recovery=$(field recovery "$p")
  [ "${recovery% (service key)}" = "reset 86400 actions restart/5000 restart/5000 restart/5000" ] ||
    fail "$1: restart on failure is \"$recovery\""
}
# The service's event log source as "EventMessageFile|TypesSupported", empty
# when it is not registered.
event_source() {
  w reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VelkVPNService' 2>/dev/null |
    tr -d '\r' | awk '
      $1 == "EventMessageFile" { sub(/^ *EventMessageFile +REG_EXPAND_SZ +/, ""); file = $0 }
      $1 == "TypesSupported" { types = $NF }
      END { if (file != "" || types != "") print file "|" types }'
}
expect_event_source() {  # WHAT
  local source
  source=$(event_source)
  [ "$source" = "$program_dir\VelkVPNService.exe|0x7" ] ||
    fail "$1: the event log source is \"$source\""
}
# Installs VelkVPN-VERSION.msi silently, logging to C:\packages\LOG; the
# service must then answer with the package's settings.
install_msi() {  # VERSION LOG WHAT
  wine msiexec /i "C:\\packages\\VelkVPN-$1.msi" /qn /l*v "C:\\packages\\$2"
  local rc=$?
  [ "$rc" -eq 0 ] || fail "$3: msiexec /i ended with $rc"
  wait_for_answer || fail "after $3 the service does not answer"
  expect_service_settings "after $3"
  expect_event_source "after $3"
  # Wine keeps no local groups; what shows is that the step ran and succeeded.
  grep -q "AddUsersGroup" "$packages/$2" || fail "$3: the log does not show the group being made"
}
expect_gone() {  # WHAT
  local p
  p=$(probe)
  expect_field "$p" state missing "$1"
  for name in VelkVPNService.exe netsteer.exe velkctl.exe velksetup.exe xray.exe; do
    [ ! -e "$program_unix/$name" ] || fail "$1: $name is still in $program_dir"
  done
}

# --- a fresh prefix with the simulator; two packages ------------------------
heading "fresh Wine prefix with the network simulator"
wineserver -k 2>/dev/null || true
rm -rf "$prefix"
"$source_dir/scripts/netsim-install.sh" "$prefix" "$build" || exit 1
install -m 0755 "$probe_exe" "$prefix/drive_c/service_probe.exe"

IFS=. read -r major minor patch <<<"$version"
newer="$major.$minor.$((patch + 1))"
packages="$prefix/drive_c/packages"
heading "MSI $version and $newer with fakecore as the core"
for v in "$version" "$newer"; do
  "$source_dir/packaging/windows/build-msi.sh" "$packages/VelkVPN-$v.msi" "$v" \
    "$service_exe" "$netsteer_exe" "$velkctl_exe" "$velksetup_exe" "$fakecore_exe" ||
    { echo "FAIL: the MSI $v was not built"; exit 1; }
done
ls -l "$packages"

hold_prefix 600
w netsim.exe reset home >/dev/null

# --- 1. install ----------------------------------------------------------------
heading "msiexec /i VelkVPN-$version.msi /qn over a planted data folder"
plant_data_folder
install_msi "$version" install.log "the install"
grep -q "MakeDataFolder" "$packages/install.log" ||
  fail "the install log does not show the data folder being made"
expect_planted_moved "after the install"
[ -f "$program_unix/xray.exe" ] || fail "the core is not installed beside the service"
[ "$(velkctl --version)" = "velkctl $version" ] ||
  fail "velkctl --version printed \"$(velkctl --version)\""
[ "$(product_versions)" = "$version" ] ||
  fail "registered products: \"$(product_versions)\", expected $version"

for action in RegisterEventSource AddUsersGroup; do
  grep -q "Action start .*: $action\." "$packages/install.log" ||
    fail "the first install did not run $action"
done

# --- a repair: the install-side steps do not run again -------------------------
# Wine's msiexec has no /f for a product code ("not implemented") and fails
# it for a package; the same repair is /i with what /fa sets: REINSTALL=ALL
# and the reinstall mode "a" (every file) with v, m, u and s.
heading "a repair of VelkVPN-$version.msi (msiexec /fa), which adds nobody to the group"
wine msiexec /i "C:\\packages\\VelkVPN-$version.msi" REINSTALL=ALL REINSTALLMODE=vamus /qn \
  /l*v 'C:\packages\repair.log'
rc=$?
[ "$rc" -eq 0 ] || fail "the repair ended with $rc"
[ -f "$packages/repair.log" ] || fail "the repair wrote no log"
for action in RegisterEventSource AddUsersGroup; do
  grep -q "Action start .*: $action\." "$packages/repair.log" 2>/dev/null &&
    fail "the repair ran $action"
done
grep -q "Action start .*: InstallFinalize\." "$packages/repair.log" 2>/dev/null ||
  fail "the repair log does not show a whole repair"

# --- 2. upgrade ----------------------------------------------------------------
heading "msiexec /i VelkVPN-$newer.msi /qn over it"
install_msi "$newer" upgrade.log "the upgrade"
[ "$(product_versions)" = "$newer" ] ||
  fail "registered products after the upgrade: \"$(product_versions)\", expected $newer only"
grep -q "RemoveExistingProducts" "$packages/upgrade.log" ||
  fail "the upgrade log does not show the older product being removed"

# --- 3. uninstall with a saved routing --------------------------------------
heading "the core, route_start $server, then msiexec /x"
printf '{"stats": {"fakecore": {"stdout": "fakecore: core started"}}}\r\n' >"$packages/core-config.json"
answer=$(velkctl xray_start 'C:\packages\core-config.json')
[ "$answer" = "ok=true;exitCode=0;message=xray start finished" ] || fail "xray_start: \"$answer\""
w netsim.exe tunnel-up >/dev/null
before=$(w route.exe print -4)
answer=$(velkctl route_start "$server")
[ "$answer" = "ok=true;exitCode=0;message=helper finished" ] || fail "route_start: \"$answer\""
[ -f "$state_path" ] || fail "route_start left no route state file"
tunnelled=$(w route.exe print -4)
grep -qE '^ +0\.0\.0\.0 +0\.0\.0\.0 +On-link' <<<"$tunnelled" ||
  fail "route_start did not route into the tunnel"
log_mark=$(stat -c %s "$helper_log" 2>/dev/null || echo 0)

wine msiexec /x "C:\\packages\\VelkVPN-$newer.msi" /qn /l*v 'C:\packages\uninstall.log'
rc=$?
[ "$rc" -eq 0 ] || fail "msiexec /x ended with $rc"
restored=$(w route.exe print -4)
echo "$restored" | grep -E '^ +(0\.0\.0\.0|203\.0\.113\.7) '
grep -qxF "          0.0.0.0          0.0.0.0      192.168.1.1     192.168.1.23     50" <<<"$restored" ||
  fail "after the uninstall the saved default route is not back"
if grep -qE '^ +0\.0\.0\.0 +0\.0\.0\.0 +On-link|^ +203\.0\.113\.7 ' <<<"$restored"; then
  fail "after the uninstall tunnel routes are left"
fi
[ ! -e "$state_path" ] || fail "after the uninstall the route state file is still there"
setup_log=$(tail -c +$((log_mark + 1)) "$helper_log" | tr -d '\r')
# The service, stopped while routed, puts the routing back itself; the
# removal's own restore then finds nothing left to do.
grep -qF "[SERVICE] restoring the saved routing at service stop: netsteer stop $server" <<<"$setup_log" &&
  grep -qF "[SERVICE] saved routing restored (netsteer stop returned 0)" <<<"$setup_log" ||
  fail "the helper log does not tell the outcome of the restore"
if grep -qF "[SETUP] restoring the saved routing" <<<"$setup_log"; then
  fail "the removal ran netsteer again after the service had restored the routing"
fi
expect_gone "after the uninstall"
[ -z "$(event_source)" ] || fail "after the uninstall the event log source is still registered"
grep -q "RemoveUsersGroup" "$packages/uninstall.log" ||
  fail "the uninstall log does not show the group being removed"
[ -z "$(product_versions)" ] || fail "after the uninstall products are still registered"
[ -f "$helper_log" ] && [ -f "$prefix/drive_c/ProgramData/VELK-VPN/xray_runtime_error.log" ] ||
  fail "the uninstall removed the logs in C:\\ProgramData"

# --- 4. the scripts from a temporary folder ---------------------------------
heading "install_service.cmd from a temporary folder, over a planted data folder"
plant_data_folder
unpacked="$prefix/drive_c/users/Public/Temp/VelkVPN-unpacked"
mkdir -p "$unpacked"
install -m 0755 "$service_exe" "$unpacked/VelkVPNService.exe"
install -m 0755 "$netsteer_exe" "$unpacked/netsteer.exe"
install -m 0755 "$velkctl_exe" "$unpacked/velkctl.exe"
install -m 0755 "$velksetup_exe" "$unpacked/velksetup.exe"
install -m 0755 "$fakecore_exe" "$unpacked/xray.exe"
cp "$source_dir/scripts/install_service.cmd" "$source_dir/scripts/uninstall_service.cmd" "$unpacked/"
script_output=$(w cmd /c 'C:\users\Public\Temp\VelkVPN-unpacked\install_service.cmd')
echo "$script_output"
grep -q '^velksetup: data folder made: ' <<<"$script_output" &&
  grep -qF 'moved aside to C:\ProgramData\VELK-VPN.' <<<"$script_output" ||
  fail "install_service.cmd did not move the planted data folder aside"
expect_planted_moved "after install_service.cmd"
wait_for_answer || fail "after install_service.cmd the service does not answer"
expect_service_settings "after install_service.cmd"
expect_event_source "after install_service.cmd"

heading "uninstall_service.cmd"
w cmd /c 'C:\users\Public\Temp\VelkVPN-unpacked\uninstall_service.cmd'
expect_gone "after uninstall_service.cmd"
[ -z "$(event_source)" ] || fail "after uninstall_service.cmd the event log source is still registered"

finish_checks "INSTALL"
