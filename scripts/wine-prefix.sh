#!/usr/bin/env bash
# Prepares a Wine prefix in the given folder for trying the Windows programs by hand or in
# tests: creates it when new, starts a persistent wineserver for it (a Wine start then costs
# about 0.3 s instead of seconds), registers the stand-in DAO automation server of the
# Windows build when it is built, and prints the environment to use:
#   eval "$(scripts/wine-prefix.sh /tmp/zq-wine)"
#   wine build-windows64/bin/ZQM.exe
#   wineserver -k          # ends the prefix's Wine processes when done
# Run it with the display the programs are to use (inside xvfb-run for a virtual one): the
# prefix's desktop process keeps the display it started with, and without one every message
# box returns at once.
# Usage: scripts/wine-prefix.sh <folder> [windows build folder, default build-windows64]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 <folder> [build folder]" >&2; exit 2; }
cd "$(dirname "$0")/.."
prefix=$(realpath -m "$1")
build=$(realpath -m "${2:-build-windows64}")
mkdir -p "$prefix"

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's own processes outlive this script: none of them may keep its output open.
if [ ! -f "$prefix/system.reg" ]; then
  echo "Creating the Wine prefix $prefix ..." >&2
  wineboot -i </dev/null >/dev/null 2>&1
fi
# (Fails harmlessly when the prefix's wineserver is already running.)
wineserver -p </dev/null >/dev/null 2>&1 || true

# A program that crashes ends at once: no debugger, no dialog waiting for a click.
for view in 64 32; do
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f \
    /reg:$view </dev/null >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 0 /f \
    /reg:$view </dev/null >/dev/null 2>&1
done

# The stand-in DAO automation server, registered in this prefix only.
for dll in "$build"/bin/DaoServer.dll; do
  [ -f "$dll" ] || continue
  if ! wine regsvr32 /s "$(winepath -w "$dll" 2>/dev/null)" </dev/null >/dev/null 2>&1; then
    echo "registering $dll failed" >&2
    exit 1
  fi
done

echo "export WINEPREFIX='$prefix' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='"
