#!/usr/bin/env bash
# Builds and runs the benchmarks, each against a baseline measured in the same
# run, and prints their tables:
#   - the pipe: VelkVPNService in Wine's service manager against a minimal
#     message-mode pipe service (the floor on this platform);
#   - the error log reader: ReadFileTail on a 1 GiB file against a 10 KiB one;
#   - the listing parsers: cost per line at growing sizes, against the
#     smallest size.
# On a fresh Debian machine, run as root, it first installs what is missing.
# Usage: scripts/bench.sh [ROUNDS]   (pipe rounds per service, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/ensure-packages.sh

rounds=${1:-3}
jobs=$(nproc)

echo "== build"
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs" --target probes_bench >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs" --target VelkVPNService pipe_bench pipe_floor_service \
  tail_bench >/dev/null

# A prefix of its own, so that no test's service is in the way.
prefix="$PWD/build/bench/wineprefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  wineboot -i >/dev/null 2>&1 || true
  # Right after wineboot the service database stays locked for the life of
  # that wine server.
  wineserver -w
fi
programs="$prefix/drive_c/velk-bench"
mkdir -p "$programs"
install -m 0755 build/windows/service/host/VelkVPNService.exe \
  build/windows/bench/pipe/pipe_floor_service.exe build/windows/bench/pipe/pipe_bench.exe \
  build/windows/bench/pipe/tail_bench.exe "$programs/"
mkdir -p "$programs/tmp"

echo
echo "== the pipe: status round trips (connect, write, read, close)"
status=0
wine 'C:\velk-bench\pipe_bench.exe' 'C:\velk-bench\VelkVPNService.exe' \
  'C:\velk-bench\pipe_floor_service.exe' "$rounds" | tr -d '\r' || status=$?

echo
echo "== the error log reader: the dispatcher's 8192 bytes from a large and a small file"
wine 'C:\velk-bench\tail_bench.exe' 'C:\velk-bench\tmp' | tr -d '\r' || status=$?
wineserver -k 2>/dev/null || true

echo
echo "== the listing parsers: cost per line against the smallest size"
build/native/bench/probes/probes_bench --benchmark_min_time=0.05 2>/dev/null |
  sed -n '/Cost per unit/,$p' || status=$?
exit $status
