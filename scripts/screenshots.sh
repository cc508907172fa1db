#!/usr/bin/env bash
# Renders the windows and message boxes into docs/*.png: the Qt views on Qt's offscreen
# platform, and the Win32 windows of the Windows build under Wine on a virtual display
# (docs/win-*.png; skipped with a note when Wine or Xvfb is missing).
# Usage: scripts/screenshots.sh [build folder] [Windows build folder]
#        (defaults: build, build-windows64)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
winbuild=${2:-build-windows64}
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target zq_screenshots -j2
runtime=$(mktemp -d)
chmod 700 "$runtime"
wine_prefix=""
cleanup() {
  [ -z "$wine_prefix" ] || WINEPREFIX="$wine_prefix" wineserver -k 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" "$build/bin/zq_screenshots" docs

if ! command -v wine >/dev/null || ! command -v xvfb-run >/dev/null; then
  echo "Wine or xvfb-run missing (scripts/setup.sh installs them): no Win32 screenshots" >&2
  exit 0
fi
if [ ! -f "$winbuild/build.ninja" ]; then
  cmake --preset windows64 >/dev/null
  winbuild=build-windows64
fi
cmake --build "$winbuild" --target zq_win_screenshots -j2
mkdir -p "$runtime/shots"
wine_prefix=$runtime/prefix
# A display number with neither a lock nor a socket (a stale socket would take our connection).
display=99
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
# The prefix is made inside the virtual display: its desktop process keeps the display it
# started with. The display has no window manager, so Wine draws the frames and captions
# itself, with the symbols of its Marlett font and its Tahoma (Debian's fonts-wine), which it
# finds in the prefix's font folder. German dialogs, as the users see them.
export ZQ_WINE_PREFIX=$wine_prefix ZQ_WIN_BUILD=$winbuild ZQ_SHOTS=$runtime/shots
LC_ALL=de_DE.UTF-8 xvfb-run -n "$display" -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  eval "$(scripts/wine-prefix.sh "$ZQ_WINE_PREFIX" "$ZQ_WIN_BUILD")"
  wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /d N /f </dev/null >/dev/null 2>&1
  for font in /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma*.ttf; do
    if [ -f "$font" ]; then cp "$font" "$ZQ_WINE_PREFIX/drive_c/windows/Fonts/"; fi
  done
  wine "$ZQ_WIN_BUILD/bin/ZQ_Screenshots.exe" "$(winepath -w "$ZQ_SHOTS")"'
python3 scripts/bmp2png.py docs "$runtime"/shots/*.bmp
