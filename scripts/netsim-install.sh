#!/usr/bin/env bash
# Installs the network simulator's route.exe, netsh.exe and powershell.exe
# (and its control program netsim.exe) into a Wine prefix, where cmd.exe, the
# service and the programs it starts find them, and checks that they answer.
# Usage: scripts/netsim-install.sh PREFIX BUILD_DIR
#   PREFIX     the Wine prefix (made when it does not exist yet)
#   BUILD_DIR  the windows build directory (holds tools/netsim/*.exe)
set -euo pipefail
# Several steps below are quiet on purpose; a failing one must still say so.
trap 'echo "netsim-install: failed at line $LINENO: $BASH_COMMAND" >&2' ERR

if [ $# -ne 2 ]; then
  echo "usage: $0 PREFIX BUILD_DIR" >&2
  exit 2
fi
prefix=$(realpath -m "$1")
tools="$2/tools/netsim"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

for exe in route netsh powershell netsim; do
  [ -f "$tools/$exe.exe" ] || { echo "netsim-install: $tools/$exe.exe is not built" >&2; exit 1; }
done

if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  wineboot -i >/dev/null 2>&1 || true
  # Right after wineboot the service database stays locked for the life of
  # that wine server; let it settle first.
  wineserver -w
fi

system32="$prefix/drive_c/windows/system32"
install -m 0755 "$tools/route.exe" "$tools/netsh.exe" "$tools/powershell.exe" "$tools/netsim.exe" "$system32/"
mkdir -p "$system32/WindowsPowerShell/v1.0"
install -m 0755 "$tools/powershell.exe" "$system32/WindowsPowerShell/v1.0/"

# Wine's own netsh and powershell win over a file of the same name unless the
# prefix's registry says otherwise; set there, it holds for services too.
for exe in netsh.exe powershell.exe; do
  wine reg add 'HKCU\Software\Wine\DllOverrides' /v "$exe" /t REG_SZ /d native /f >/dev/null 2>&1
done

fail() { echo "netsim-install: $*" >&2; exit 1; }
run() { wine cmd /c "$@" 2>&1 | tr -d '\r'; }

run netsim reset >/dev/null
run route print -4 | grep -q '^Active Routes:$' || fail "route print -4 does not print the simulator's table"
run netsh interface ipv4 show interfaces | grep -q 'Ethernet$' ||
  fail "netsh does not list the simulator's interfaces"
# The query goes through a batch file: cmd.exe must see its quotes as they
# are, as it does when netsteer runs it.
check="$prefix/drive_c/netsim-check.bat"
printf '@echo off\r\n%s\r\n' "powershell -NoProfile -WindowStyle Hidden -Command \"\$x = Get-NetIPAddress -AddressFamily IPv4 | Where-Object {\$_.IPAddress -eq '192.168.1.23'} | Select-Object -First 1 -ExpandProperty InterfaceIndex; if (\$x) { Write-Output \$x }\"" >"$check"
answer=$(run 'C:\netsim-check.bat')
rm -f "$check"
[ "$answer" = "12" ] || fail "powershell does not answer the interface query (got: $answer)"
run netsim reset >/dev/null
echo "netsim-install: route, netsh and powershell of the simulator answer in $prefix"
