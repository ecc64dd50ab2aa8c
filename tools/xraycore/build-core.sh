#!/usr/bin/env bash
# Builds the proxy core for the tests, the demo and the bench: xray's v4
# ancestor from Debian's Go sources (golang-v2ray-core-dev), for 64-bit
# Windows, as a drop-in xray.exe. Nothing of the core's source is kept in
# this repository: its main package is copied from the installed source into
# WORK_DIR at build time, beside our run_verb.go.
#
# Usage: build-core.sh OUTPUT_EXE WORK_DIR
# Rebuilds only when an input changed (the Debian packages' versions, this
# script or run_verb.go); the Go build cache stays in WORK_DIR.
set -euo pipefail
output=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)

packages=(golang-go golang-1.19-src golang-v2ray-core-dev
          golang-github-seiflotfy-cuckoofilter-dev golang-starlark-dev)
core_source=/usr/share/gocode/src/v2ray.com/core
if ! command -v go >/dev/null || [ ! -d "$core_source/main" ]; then
  echo "build-core.sh: the core's sources are missing; install: ${packages[*]}" >&2
  exit 2
fi

mkdir -p "$work"
stamp="$work/inputs.stamp"
inputs=$( (dpkg-query -W "${packages[@]}" 2>/dev/null || true; cat "$0" "$here/run_verb.go") \
  | sha256sum | cut -d' ' -f1)
if [ -f "$output" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$inputs" ]; then
  exit 0
fi

# Debian's golang.org/x/sys lacks the windows package (the core's QUIC code
# imports it); Go's own source carries a copy among the go command's vendored
# packages. A GOPATH entry of links to it comes first, so that the windows
# package and the internal package it imports are found under one root.
goroot=$(go env GOROOT)
xsys="$goroot/src/cmd/vendor/golang.org/x/sys"
gopath_xsys="$work/xsys"
mkdir -p "$gopath_xsys/src/golang.org/x/sys/internal"
ln -sfn "$xsys/windows" "$gopath_xsys/src/golang.org/x/sys/windows"
ln -sfn "$xsys/internal/unsafeheader" "$gopath_xsys/src/golang.org/x/sys/internal/unsafeheader"

main_dir="$work/main"
rm -rf "$main_dir"
mkdir -p "$main_dir"
cp "$core_source"/main/*.go "$main_dir/"
rm -f "$main_dir"/*_test.go
cp "$here/run_verb.go" "$main_dir/"

echo "== building the proxy core (v2ray $(dpkg-query -W -f='${Version}' golang-v2ray-core-dev)) as $output"
(cd "$main_dir" &&
  GO111MODULE=off GOPATH="$gopath_xsys:/usr/share/gocode" GOCACHE="$work/gocache" \
  GOOS=windows GOARCH=amd64 CGO_ENABLED=0 \
  go build -trimpath -ldflags "-s -w" -o "$output.tmp" .)
mv -f "$output.tmp" "$output"
echo "$inputs" >"$stamp"
