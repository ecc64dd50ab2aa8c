#!/usr/bin/env bash
# Fault injection under Wine: VelkVPNService, the real netsteer, the fake core
# and the network simulator; the driver kills the service at each moment it
# knows, starts it again and checks the machine (see
# fault_driver_main_win32.cpp). The moments are shared out over SHARDS copies
# of one prefix that run side by side (each has its own wine server, service
# and simulated machine): most of a moment's time is netsteer's fixed pauses.
# Prints each driver's output and the figures added up; the exit status is 1
# when any check failed.
#
# Usage: faults.sh BUILD_DIR PREFIX [ROUNDS [SHARDS]]
#   BUILD_DIR  the windows build directory with every program built
#   PREFIX     where the Wine prefixes of this run go (PREFIX-1 ...); made afresh
#   ROUNDS     how many times each moment is hit (default 1)
#   SHARDS     how many prefixes share the work (default 3)
set -uo pipefail

if [ $# -lt 2 ] || [ $# -gt 4 ]; then
  echo "usage: $0 BUILD_DIR PREFIX [ROUNDS [SHARDS]]" >&2
  exit 2
fi
build=$(realpath "$1")
prefix=$(realpath -m "$2")
rounds=${3:-1}
shards=${4:-3}
source_dir=$(cd "$(dirname "$0")/../../.." && pwd)
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$prefix-1"
source "$source_dir/tests/system/checks.sh"

declare -A programs=(
  [VelkVPNService.exe]="$build/service/host/VelkVPNService.exe"
  [netsteer.exe]="$build/netsteer/control/netsteer.exe"
  [xray.exe]="$build/tools/fakecore/xray.exe"
  [fault_driver.exe]="$build/tests/system/faults/fault_driver.exe"
)
for name in "${!programs[@]}"; do
  [ -f "${programs[$name]}" ] || { echo "not built: ${programs[$name]}" >&2; exit 1; }
done

heading "a fresh Wine prefix with the network simulator and the service, in $shards copies"
started=$(date +%s)
for shard in $(seq "$shards"); do
  WINEPREFIX="$prefix-$shard" wineserver -k 2>/dev/null || true
  rm -rf "$prefix-$shard"
done
"$source_dir/scripts/netsim-install.sh" "$WINEPREFIX" "$build" || exit 1
mkdir -p "$WINEPREFIX/drive_c/VelkVPN"
for name in "${!programs[@]}"; do
  install -m 0755 "${programs[$name]}" "$WINEPREFIX/drive_c/VelkVPN/$name"
done
printf '%s\r\n' '{"stats": {"fakecore": {"stdout": "fakecore: serving"}}}' >"$WINEPREFIX/drive_c/VelkVPN/core-config.json"
w sc create VelkVPNService binPath= 'C:\VelkVPN\VelkVPNService.exe' >/dev/null
wineserver -w
for shard in $(seq 2 "$shards"); do
  cp -a "$prefix-1" "$prefix-$shard"
done
echo "ready after $(($(date +%s) - started)) s"

heading "the service killed at each moment, $rounds round(s)"
# Each driver is its prefix's one ordinary process while it runs, so the
# service lives as long as it does.
pids=()
for shard in $(seq "$shards"); do
  WINEPREFIX="$prefix-$shard" wine 'C:\VelkVPN\fault_driver.exe' "$rounds" "$((shard - 1))" "$shards" \
    >"$prefix-$shard.log" 2>&1 &
  pids+=($!)
done
for shard in $(seq "$shards"); do
  wait "${pids[$((shard - 1))]}" || fail "the driver in prefix $shard reported failures"
  WINEPREFIX="$prefix-$shard" wineserver -k 2>/dev/null || true
  echo "-- prefix $shard"
  tr -d '\r' <"$prefix-$shard.log"
done
echo "took $(($(date +%s) - started)) s"

sum() { cat "$prefix"-*.log | tr -d '\r' | sed -n "s/^figures: .*\b$1=\([0-9]*\).*/\1/p" | paste -sd+ | bc; }
kills=$(sum kills)
heading "figures"
echo "kills made: $kills"
echo "moments covered: $(sum covered) of $(sum moments)"
echo "machines left without a working default route: $(sum without_default_route)"
echo "cores left behind: $(sum cores_left)"
echo "machines left with an IPv6 route or NRPT rule of ours: $(sum ipv6_dns_left)"
[ "${kills:-0}" -ge 20 ] || fail "only ${kills:-0} kills were made"
finish_checks "FAULT INJECTION"
