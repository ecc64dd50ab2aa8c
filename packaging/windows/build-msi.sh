#!/usr/bin/env bash
# Builds the VelkVPN MSI with wixl from velkvpn.wxs.
# Usage: build-msi.sh OUT VERSION SERVICE NETSTEER VELKCTL VELKSETUP [CORE]
#   OUT      the .msi to write
#   VERSION  the product version, major.minor.patch
#   SERVICE NETSTEER VELKCTL VELKSETUP  the built programs
#   CORE     the proxy core to ship as xray.exe; without it none is packaged
set -euo pipefail
if [ $# -ne 6 ] && [ $# -ne 7 ]; then
  echo "usage: $0 OUT VERSION SERVICE NETSTEER VELKCTL VELKSETUP [CORE]" >&2
  exit 2
fi
out=$1 version=$2 core=${7:-}
for program in "$3" "$4" "$5" "$6" ${core:+"$core"}; do
  [ -f "$program" ] || { echo "build-msi: $program does not exist" >&2; exit 1; }
done
command -v wixl >/dev/null || { echo "build-msi: wixl is not installed (Debian package wixl)" >&2; exit 1; }
source=$(realpath "$(dirname "$0")/velkvpn.wxs")
mkdir -p "$(dirname "$out")"
out=$(realpath "$out")
# wixl takes only relative file sources: the programs are staged under their
# shipped names and wixl runs there.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
install -m 0644 "$3" "$stage/VelkVPNService.exe"
install -m 0644 "$4" "$stage/netsteer.exe"
install -m 0644 "$5" "$stage/velkctl.exe"
install -m 0644 "$6" "$stage/velksetup.exe"
with_core=no
if [ -n "$core" ]; then
  install -m 0644 "$core" "$stage/xray.exe"
  with_core=yes
fi
# wixl reports unknown attributes as warnings only; any output here means
# the package would not be what the source says.
log=$(cd "$stage" && wixl --arch x64 -o "$out" -D Version="$version" -D WithCore="$with_core" \
  "$source" 2>&1) || { echo "$log" >&2; exit 1; }
if [ -n "$log" ]; then
  echo "$log" >&2
  rm -f "$out"
  exit 1
fi
