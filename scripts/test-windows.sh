#!/usr/bin/env bash
# Builds the Windows programs (32-bit shipping build in build-windows/, 64-bit build in
# build-windows64/) with warnings as errors and runs the 64-bit build's tests under Wine,
# in a throw-away prefix, with a virtual display for the message boxes the tests answer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh windows
scripts/build.sh windows64

work=$(mktemp -d /tmp/zq-wine-test.XXXXXX)
cleanup() {
  WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
eval "$(scripts/wine-prefix.sh "$work/prefix" build-windows64)"
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows64 -j2 --timeout 600
