#!/usr/bin/env bash
# Sets up, builds with warnings as errors and runs every test: the Linux programs', then the
# Windows programs' under Wine. Fails when any fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh ci
ctest --preset ci -j2 --timeout 600 --output-on-failure
# Then the Windows programs, built and tested under Wine (setup is done).
ZQ_SETUP_DONE=1 scripts/test-windows.sh
