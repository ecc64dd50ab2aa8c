#!/usr/bin/env bash
# Builds both presets and runs every test: natively with g++, and the Windows
# build under Wine. On a fresh Debian machine, run as root, it first installs
# what is missing. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ googletest libbenchmark-dev g++-mingw-w64-x86-64 wine64 wine)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    echo "== installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  else
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    exit 2
  fi
fi

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
