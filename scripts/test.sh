#!/usr/bin/env bash
# Sets up, builds with warnings as errors and runs every test: the Linux build's, then the
# Windows build's under Wine. Fails when any fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh ci
ctest --preset ci -j2 --timeout 600
ZQ_SETUP_DONE=1 scripts/test-windows.sh
