#!/usr/bin/env bash
# Sets up, builds the Windows programs (32-bit shipping build in build-windows/, 64-bit build in
# build-windows64/) with warnings as errors and runs both builds' tests under Wine, each in a
# throw-away prefix, with a virtual display for the message boxes the tests answer. The 32-bit
# programs run in Wine's WoW64 mode with Wine's 32-bit libraries (scripts/wine32-libs.sh); the
# tests that need a window, a message box or web access run in the 64-bit suite only.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${ZQ_SETUP_DONE:-}" = 1 ] || scripts/setup.sh
scripts/build.sh windows
scripts/build.sh windows64

# Statically linked: no program of either build imports a mingw runtime DLL.
for exe in build-windows/bin/*.exe build-windows64/bin/*.exe; do
  if x86_64-w64-mingw32-objdump -p "$exe" | grep -iE 'DLL Name: *lib(stdc\+\+|gcc|winpthread)'; then
    echo "$exe needs a mingw runtime DLL" >&2
    exit 1
  fi
done

work=$(mktemp -d /tmp/zq-wine-test.XXXXXX)
cleanup() {
  WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
  WINEPREFIX="$work/prefix32" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# A display number with neither a lock nor a socket: a socket left by a killed X server would
# take the connection away from ours (xvfb-run -a looks at the lock files only).
display=99
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
# The prefix is made inside the virtual display: Wine's desktop process, started with the
# prefix, chooses the display driver for every later program, and one started without a
# display makes each message box return at once.
export ZQ_WINE_PREFIX="$work/prefix" ZQ_WINE_PREFIX32="$work/prefix32" ZQ_PACKAGE_DIR="$work/dist"
# Fails, rather than skipping, when Wine's 32-bit libraries are missing.
scripts/wine32-libs.sh >/dev/null
xvfb-run -n "$display" -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  (
    eval "$(scripts/wine-prefix.sh "$ZQ_WINE_PREFIX" build-windows64)"
    ctest --preset windows64 -j2 --timeout 600 --output-on-failure
    # The packages administrators install, signed with a throw-away certificate made here: the
    # zips'"'"' contents, version resources and signatures, and the MSIs installed over an older
    # package, checked and removed under Wine.
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$ZQ_PACKAGE_DIR.key" -out "$ZQ_PACKAGE_DIR.cer" \
      -days 2 -subj "/CN=Zequora Test Signing" -addext extendedKeyUsage=codeSigning 2>/dev/null
    openssl pkcs12 -export -inkey "$ZQ_PACKAGE_DIR.key" -in "$ZQ_PACKAGE_DIR.cer" \
      -out "$ZQ_PACKAGE_DIR.pfx" -passout pass:zq-test
    ZQ_SKIP_BUILD=1 ZQ_PACKAGE_VERSION=4.1.22 scripts/package-windows.sh "$ZQ_PACKAGE_DIR.old" 2>/dev/null
    ZQ_SKIP_BUILD=1 ZQ_SIGN_PFX="$ZQ_PACKAGE_DIR.pfx" ZQ_SIGN_PASSWORD=zq-test \
      scripts/package-windows.sh "$ZQ_PACKAGE_DIR"
    ZQ_SIGN_PFX="$ZQ_PACKAGE_DIR.pfx" ZQ_SIGN_CA="$ZQ_PACKAGE_DIR.cer" ZQ_OLD_PACKAGE_DIR="$ZQ_PACKAGE_DIR.old" \
      tests/package/check-package.sh "$ZQ_PACKAGE_DIR"
    wineserver -k
  )
  (
    eval "$(scripts/wine-prefix.sh "$ZQ_WINE_PREFIX32" build-windows)"
    echo "32-bit suite with WINEDLLPATH=$WINEDLLPATH"
    ctest --preset windows -j2 --timeout 600 --output-on-failure
    wineserver -k
  )'
