#!/usr/bin/env bash
# Builds both presets and runs every test: natively with g++, and the Windows
# build under Wine. On a fresh Debian machine, run as root, it first installs
# what is missing. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/ensure-packages.sh

jobs=$(nproc)
status=0
for preset in native windows; do
  echo "== configure $preset"
  cmake --preset "$preset" >/dev/null
  echo "== build $preset"
  cmake --build --preset "$preset" -j"$jobs"
  echo "== test $preset"
  ctest --preset "$preset" -j"$jobs" || status=1
done

# Leave no wine server of the test prefix behind.
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
exit $status
