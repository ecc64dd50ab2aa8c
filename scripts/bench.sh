#!/usr/bin/env bash
# Builds and runs every benchmark, each against a baseline measured in the
# same run, and prints one table (figure, ours, baseline, ratio, goal):
#   - the pipe: VelkVPNService in Wine's service manager against a minimal
#     message-mode pipe service (the floor on this platform), one client and
#     eight, and the service's private bytes after 100 and 20,000 requests;
#     then "status" while sixteen clients connect and stay silent, and while
#     sixteen write "status" and never read (share answered within velkctl's
#     default wait, p99) against the quiet service;
#   - the proxy core (xray.exe, built from Debian's v2ray sources):
#     "xray_start" through the service until the SOCKS port accepts, against
#     the same core started directly with the same configuration; and the
#     service's check and copy of a 16 MiB configuration (a long routing rule
#     list) against CopyFileW, with the peak working set that takes against
#     the file's size;
#   - netsteer start and stop against the network simulator: the fixed
#     pauses, the commands (against cmd.exe /C exit) and netsteer's own work;
#   - the error log reader: ReadFileTail on a 1 GiB file against a 10 KiB one;
#   - the parsers: cost per line at 100,000 lines against 1,000.
# On a fresh Debian machine, run as root, it first installs what is missing.
# Usage: scripts/bench.sh [ROUNDS]   (rounds per pipe service, core start and netsteer, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/ensure-packages.sh

rounds=${1:-3}
jobs=$(nproc)

echo "== build"
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs" --target parsers_bench >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs" --target VelkVPNService pipe_bench pipe_floor_service \
  tail_bench netsteer_bench netsim_route netsim_netsh netsim_powershell netsim_netsim \
  realcore core_start_bench config_copy_bench >/dev/null

# A prefix of its own, with the network simulator, so that no test's service
# is in the way.
prefix="$PWD/build/bench/wineprefix"
scripts/netsim-install.sh "$prefix" build/windows >/dev/null
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
programs="$prefix/drive_c/velk-bench"
mkdir -p "$programs/tmp"
install -m 0755 build/windows/service/host/VelkVPNService.exe \
  build/windows/bench/pipe/pipe_floor_service.exe build/windows/bench/pipe/pipe_bench.exe \
  build/windows/bench/pipe/tail_bench.exe build/windows/bench/netsteer/netsteer_bench.exe \
  build/windows/bench/core/core_start_bench.exe build/windows/bench/core/config_copy_bench.exe \
  "$programs/"
# The service starts the core from its own folder.
install -m 0755 build/windows/tools/xraycore/xray.exe "$programs/xray.exe"

rows=$(mktemp)
notes=$(mktemp)
trap 'rm -f "$rows" "$notes"' EXIT
status=0
# Each benchmark prints its rows ("| ...") and notes ("(...)"); anything else
# it prints goes to standard error.
collect() {
  local out
  out=$("$@" | tr -d '\r') || status=1
  grep '^| ' <<<"$out" >>"$rows" || true
  grep '^(' <<<"$out" >>"$notes" || true
}

echo "== the pipe (about a minute per round)"
collect wine 'C:\velk-bench\pipe_bench.exe' 'C:\velk-bench\VelkVPNService.exe' \
  'C:\velk-bench\pipe_floor_service.exe' "$rounds"
echo "== the proxy core"
collect wine 'C:\velk-bench\core_start_bench.exe' 'C:\velk-bench\VelkVPNService.exe' \
  'C:\velk-bench\xray.exe' 'C:\velk-bench\tmp' "$rounds"
collect wine 'C:\velk-bench\config_copy_bench.exe' 'C:\velk-bench\tmp'
echo "== netsteer start and stop"
collect wine 'C:\velk-bench\netsteer_bench.exe' "$rounds"
echo "== the error log reader"
collect wine 'C:\velk-bench\tail_bench.exe' 'C:\velk-bench\tmp'
wineserver -k 2>/dev/null || true
echo "== the parsers"
collect build/native/bench/parsers/parsers_bench --benchmark_min_time=0.5 --benchmark_color=false

echo
printf '| %-38s | %10s | %10s | %6s | %-8s |\n' figure ours baseline ratio goal
printf '|%s|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..40})" "$(printf -- '-%.0s' {1..12})" \
  "$(printf -- '-%.0s' {1..12})" "$(printf -- '-%.0s' {1..8})" "$(printf -- '-%.0s' {1..10})"
cat "$rows"
cat "$notes"
echo "(parsers: ns per line or character at 100,000 against 1,000; ratio near 1 = linear)"
exit $status
