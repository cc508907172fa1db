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
# A 32-bit build (build-windows) also gets WINEDLLPATH, the folder of Wine's 32-bit libraries
# that scripts/setup.sh fetches (scripts/wine32-libs.sh); make its prefix with it.
# Usage: scripts/wine-prefix.sh <folder> [windows build folder, default build-windows64]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 <folder> [build folder]" >&2; exit 2; }
cd "$(dirname "$0")/.."
prefix=$(realpath -m "$1")
build=$(realpath -m "${2:-build-windows64}")
mkdir -p "$prefix"

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A 32-bit build runs in Wine's WoW64 mode, with Wine's 32-bit PE libraries: without them a
# 32-bit program starts, does nothing and ends with 0.
dllpath=
for exe in "$build"/bin/*.exe; do
  if [ -f "$exe" ] && x86_64-w64-mingw32-objdump -f "$exe" 2>/dev/null | grep -q 'file format pei-i386'; then
    dllpath=$(scripts/wine32-libs.sh) || exit 1
    export WINEDLLPATH="$dllpath"
  fi
  break
done
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

# Windows are not left to a window manager: there is none under Xvfb, and Wine then waits two
# seconds for each hidden window (every message box) to be withdrawn by it.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1

# The stand-in DAO automation server, registered in this prefix only.
for dll in "$build"/bin/DaoServer.dll; do
  [ -f "$dll" ] || continue
  if ! wine regsvr32 /s "$(winepath -w "$dll" 2>/dev/null)" </dev/null >/dev/null 2>&1; then
    echo "registering $dll failed" >&2
    exit 1
  fi
done

echo "export WINEPREFIX='$prefix' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='${dllpath:+ WINEDLLPATH='$dllpath'}"
