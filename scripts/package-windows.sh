#!/usr/bin/env bash
# Builds the Windows packages administrators install: for each bitness (build-windows, the 32-bit
# shipping build, and build-windows64) a zip holding ZQM.exe, ZQR.exe, ZQU.exe, the zqu.ini
# template and the administrator's guide in German and English, and, with Debian's nsis
# (makensis), a setup program that installs them into a chosen program folder.
# Usage: scripts/package-windows.sh [output folder, default dist/]
#   ZQ_SKIP_BUILD=1 takes the programs as they are built.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-dist}")
version=$(sed -n 's/^project([^)]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no project version in CMakeLists.txt" >&2; exit 1; }

export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for pair in win32:build-windows:windows:32 win64:build-windows64:windows64:64; do
  IFS=: read -r suffix build preset bits <<<"$pair"
  if [ "${ZQ_SKIP_BUILD:-}" != 1 ]; then
    cmake --preset "$preset" >/dev/null
    cmake --build "$build" --target zqm zqr zqu
  fi
  name=Zequora-Tools-$version-$suffix
  stage=$work/$name
  mkdir -p "$stage"
  for exe in ZQM ZQR ZQU; do
    [ -f "$build/bin/$exe.exe" ] || { echo "$build/bin/$exe.exe is not built" >&2; exit 1; }
    cp "$build/bin/$exe.exe" "$stage/"
  done
  cp docs/ADMIN-GUIDE.de.md docs/ADMIN-GUIDE.en.md scripts/windows-package/zqu.ini.template "$stage/"
  rm -f "$out/$name.zip"
  (cd "$work" && zip -q -X -r "$out/$name.zip" "$name")
  echo "$out/$name.zip"
  if command -v makensis >/dev/null; then
    makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DBITS="$bits" -DSRC="$stage" \
      -DOUT="$out/$name-setup.exe" scripts/windows-package/setup.nsi
    echo "$out/$name-setup.exe"
  else
    echo "makensis is not installed (Debian package nsis): no setup program" >&2
  fi
done
