#!/usr/bin/env bash
# Sets up, builds, and runs the main job on the built-in sample installation.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh default
echo "Built: $(ls build/bin 2>/dev/null | tr '\n' ' ')"
