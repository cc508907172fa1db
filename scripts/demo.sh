#!/usr/bin/env bash
# Sets up, builds, makes a sample installation and reorganises its data file unattended,
# then shows the reorganisation log.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh default
bin=build/bin
echo "Built: $(ls "$bin" 2>/dev/null | tr '\n' ' ')"

work=$(mktemp -d "${TMPDIR:-/tmp}/zq-demo.XXXXXX")
"$bin/zq-sample" --dir "$work" --size-mb 20 --registry "$work/registry"
# zqr's program folder is the folder of its own file (a symlink would be resolved back to
# bin/), so a copy goes into the sample's program folder, beside zqm.ini.
cp "$bin/zqr" "$work/program/zqr"

echo
echo "== zqr /DATEI $work/data/zqdata.mdb"
set +e
ZEQUORA_UI=console ZEQUORA_REGISTRY="$work/registry" XDG_CACHE_HOME="$work/cache" \
  "$work/program/zqr" /DATEI "$work/data/zqdata.mdb" </dev/null
rc=$?
set -e
echo "zqr exit code: $rc (0 success, 1 aborted, 2 failed, 3 record counts changed, 4 trace or log incomplete, 5 permissions not restored)"
echo
echo "== $work/data/ZQR_Reorg_Log.txt"
tr -d '\r' <"$work/data/ZQR_Reorg_Log.txt"
echo "== backup copies in $work/data/Save: $(ls "$work/data/Save" | tr '\n' ' ')"
echo "== trace: $work/program/ZQR_Reorg_Trace.txt"
exit "$rc"
