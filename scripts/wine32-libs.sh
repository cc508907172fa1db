#!/usr/bin/env bash
# Wine's 32-bit PE libraries, which let the 64-bit wine run 32-bit Windows programs in its
# WoW64 mode. Debian ships them in libwine:i386; installing that (or wine32) would make the
# `wine` command pick a 32-bit loader that cannot start here, so the package is only
# downloaded and unpacked into a cache folder outside the repository, and reused from there.
# Prints the folder to put in WINEDLLPATH. With --fetch it downloads when the cache lacks the
# libraries of the installed wine; without it, it fails (exit 1) when they are missing.
set -euo pipefail
fetch=
[ "${1:-}" = --fetch ] && fetch=1

version=$(dpkg-query -W -f='${Version}' libwine 2>/dev/null || true)
[ -n "$version" ] || { echo "wine32-libs.sh: libwine is not installed (scripts/setup.sh)" >&2; exit 1; }
cache=${ZQ_WINE32_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zequora/libwine-i386-${version//[^A-Za-z0-9.+-]/_}}
dllpath="$cache/usr/lib/i386-linux-gnu/wine"
if [ -f "$dllpath/i386-windows/kernel32.dll" ]; then
  echo "$dllpath"
  exit 0
fi
[ -n "$fetch" ] || { echo "wine32-libs.sh: Wine's 32-bit libraries are missing (scripts/setup.sh fetches them)" >&2; exit 1; }

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
work=$(mktemp -d)
added=
cleanup() {
  rm -rf "$work"
  if [ -n "$added" ]; then
    # The architecture was only needed for the download: its lists go again with it.
    $SUDO dpkg --remove-architecture i386 || true
    $SUDO apt-get update -qq || true
  fi
}
trap cleanup EXIT
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  added=1
  $SUDO apt-get update -qq
fi
echo "Downloading Wine's 32-bit libraries (libwine:i386 $version) ..." >&2
(cd "$work" && chmod 777 . && apt-get download -q "libwine:i386=$version" >&2)
deb=$(ls "$work"/libwine_*_i386.deb)
mkdir -p "$work/x"
dpkg -x "$deb" "$work/x"
# Only the PE libraries serve: the 32-bit Unix side cannot run on these machines.
rm -rf "$work/x/usr/lib/i386-linux-gnu/wine/i386-unix" "$work/x/usr/share"
[ -f "$work/x/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll" ] || {
  echo "wine32-libs.sh: the package holds no 32-bit kernel32.dll" >&2; exit 1; }
mkdir -p "$(dirname "$cache")"
rm -rf "$cache.new"
mv "$work/x" "$cache.new"
rm -rf "$cache"
mv "$cache.new" "$cache"
echo "$dllpath"
