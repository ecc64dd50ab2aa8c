#!/usr/bin/env bash
# Sourced by test.sh, demo.sh and fuzz.sh: makes sure the Debian packages the
# build needs are installed (those in velk_packages when the caller set it).
# As root it installs what is missing; otherwise it says exactly what to
# install and exits with 2.
if [ -z "${velk_packages+set}" ]; then
  velk_packages=(cmake make g++ googletest libbenchmark-dev nlohmann-json3-dev g++-mingw-w64-x86-64 wine64 wine wixl
    # the real proxy core, built from Debian's Go sources (tools/xraycore)
    golang-go golang-1.19-src golang-v2ray-core-dev golang-github-seiflotfy-cuckoofilter-dev golang-starlark-dev
    # a local web server, a client for the traffic through the core, and a
    # certificate for its TLS inbound
    python3 curl openssl)
fi

velk_missing=()
for p in "${velk_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || velk_missing+=("$p")
done
if [ ${#velk_missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    echo "== installing: ${velk_missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${velk_missing[@]}" >/dev/null
  else
    echo "Missing packages: ${velk_missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${velk_missing[*]}" >&2
    exit 2
  fi
fi
