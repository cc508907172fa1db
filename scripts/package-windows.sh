#!/usr/bin/env bash
# Builds the Windows packages administrators install, for each bitness (build-windows, the 32-bit
# shipping build for 32-bit Access, and build-windows64 for 64-bit Access):
#   dist/Zequora-Tools-<version>-win32.zip / -win64.zip: ZQM.exe, ZQR.exe, ZQU.exe, the zqu.ini
#     template and the administrator's guide in German and English (HTML and plain text);
#   dist/Zequora-Tools-<version>-win32.msi / -win64.msi: the Windows Installer package (wixl);
#   dist/symbols/<version>-win32/ and -win64/: the programs' debug symbols, for support only.
# The programs are shipped without debug sections. With ZQ_SIGN_PFX (a PKCS#12 file) and
# ZQ_SIGN_PASSWORD every program and each MSI is signed with Authenticode (osslsigncode), time-
# stamped when ZQ_SIGN_TIMESTAMP names a time-stamp server; without them the packages are
# unsigned, and the script says so.
# Usage: scripts/package-windows.sh [output folder, default dist/]
#   ZQ_SKIP_BUILD=1 takes the programs as they are built; ZQ_PACKAGE_VERSION overrides the
#   package version (the tests build an older package for the upgrade).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-dist}")
version=${ZQ_PACKAGE_VERSION:-$(sed -n 's/^project([^)]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)}
[ -n "$version" ] || { echo "no project version in CMakeLists.txt" >&2; exit 1; }
for tool in wixl zip; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/setup.sh)" >&2; exit 1; }
done

# A compiler cache speeds up repeated builds where one is installed; nothing needs it.
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
signing=
if [ -n "${ZQ_SIGN_PFX:-}" ]; then
  [ -f "$ZQ_SIGN_PFX" ] || { echo "ZQ_SIGN_PFX names no file: $ZQ_SIGN_PFX" >&2; exit 1; }
  signing=1
  echo "Signing with $ZQ_SIGN_PFX${ZQ_SIGN_TIMESTAMP:+, time-stamped by $ZQ_SIGN_TIMESTAMP}"
else
  echo "NOT SIGNED: set ZQ_SIGN_PFX (and ZQ_SIGN_PASSWORD) to sign the programs and the MSI" >&2
fi
sign() {
  [ -n "$signing" ] || return 0
  local args=(sign -pkcs12 "$ZQ_SIGN_PFX" -pass "${ZQ_SIGN_PASSWORD:-}" -h sha256
              -n "ZEQUORA Hilfsprogramme" -in "$1" -out "$1.signed")
  [ -z "${ZQ_SIGN_TIMESTAMP:-}" ] || args+=(-ts "$ZQ_SIGN_TIMESTAMP")
  osslsigncode "${args[@]}" >/dev/null
  mv "$1.signed" "$1"
}

mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for pair in win32:build-windows:windows:i686:32 win64:build-windows64:windows64:x86_64:64; do
  IFS=: read -r suffix build preset cpu bits <<<"$pair"
  if [ "${ZQ_SKIP_BUILD:-}" != 1 ]; then
    cmake --preset "$preset" >/dev/null
    cmake --build "$build" --target zqm zqr zqu
  fi
  name=Zequora-Tools-$version-$suffix
  stage=$work/$name
  symbols=$out/symbols/$version-$suffix
  mkdir -p "$stage" "$symbols"
  for exe in ZQM ZQR ZQU; do
    [ -f "$build/bin/$exe.exe" ] || { echo "$build/bin/$exe.exe is not built" >&2; exit 1; }
    # The symbols go beside the package; the shipped program carries a link to them only.
    $cpu-w64-mingw32-objcopy --only-keep-debug "$build/bin/$exe.exe" "$symbols/$exe.exe.debug"
    $cpu-w64-mingw32-objcopy --strip-debug --add-gnu-debuglink="$symbols/$exe.exe.debug" \
      "$build/bin/$exe.exe" "$stage/$exe.exe"
    sign "$stage/$exe.exe"
  done
  for lang in de en; do
    /usr/bin/python3 scripts/windows-package/render-guide.py "docs/ADMIN-GUIDE.$lang.md" \
      "$stage/ADMIN-GUIDE.$lang.html" "$stage/ADMIN-GUIDE.$lang.txt" \
      "ZEQUORA Hilfsprogramme $version: Administratorhandbuch ($lang)"
  done
  cp scripts/windows-package/zqu.ini.template "$stage/"
  rm -f "$out/$name.zip"
  (cd "$work" && zip -q -X -r "$out/$name.zip" "$name")
  echo "$out/$name.zip"

  # wixl takes the sources relative to the folder it runs in.
  cp scripts/windows-package/zqu-ini.js "$stage/"
  arch=x86
  [ "$bits" = 64 ] && arch=x64
  (cd "$work" && wixl -a "$arch" -D Version="$version" -D Bits="$bits" -D Src="$name" \
     -o "$out/$name.msi" "$OLDPWD/scripts/windows-package/zequora.wxs" 2>"$work/wixl.log") || {
    cat "$work/wixl.log" >&2; exit 1; }
  sign "$out/$name.msi"
  echo "$out/$name.msi"
done
