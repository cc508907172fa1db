#!/usr/bin/env bash
# Measures a full unattended reorganisation by zqr ("Sicherungskopie" = "B", "Warten" = 0:
# backup copy, census before, compaction by the database program stand-in, census after,
# log and result records) against the same work done by standard tools in one run: cp of the
# file, two counts of all tables and sqlite3 VACUUM. Every run starts from the same pristine
# sample (restored untimed, page cache warm for both); runs are interleaved and the medians
# compared. zqr's peak memory comes from /usr/bin/time -v (it includes the stand-in, which zqr
# waits for).
# Usage: scripts/bench_zqr.sh [build folder] [size MB] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
size=${2:-1100}
runs=${3:-3}
bin="$build/bin"
for f in zqr msaccess.exe zq-sample; do
  [ -x "$bin/$f" ] || { echo "missing $bin/$f (build zqr, zq_msaccess and zq_sample first)" >&2; exit 1; }
done
command -v sqlite3 >/dev/null || { echo "sqlite3 is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zq-bench-zqr.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$bin/zq-sample" --dir "$work" --size-mb "$size" --registry "$work/registry" >/dev/null
cp "$bin/zqr" "$work/program/zqr"
printf '[Global]\r\nsicherungskopie=b\r\nwarten=0\r\nlogdatei=a\r\ndateianzahlmax=1\r\n' >"$work/program/zqr.ini"
data="$work/data/zqdata.mdb"
cp "$data" "$work/pristine.mdb"
tables=$(sqlite3 "$data" "select name from sqlite_master where type='table' and name not like 'sqlite_%'")
counts=""
for t in $tables; do counts+="select count(*) from [$t];"; done

export ZEQUORA_UI=console ZEQUORA_REGISTRY="$work/registry" XDG_CACHE_HOME="$work/cache" LC_ALL=C

restore() { rm -rf "$work/data/Save" "$work/copy.mdb"; cp "$work/pristine.mdb" "$data"; sync; }

run_zqr() {
  /usr/bin/time -v -o "$work/time.txt" "$work/program/zqr" /DATEI "$data" </dev/null >/dev/null 2>"$work/zqr.err"
}
run_tools() {
  cp "$data" "$work/copy.mdb"
  sqlite3 "$data" "$counts" >/dev/null
  sqlite3 "$data" "VACUUM"
  sqlite3 "$data" "$counts" >/dev/null
}
seconds() { local t0 t1; t0=$(date +%s.%N); "$@"; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }

zqr_times=() tool_times=() peak=0
for ((k = 0; k < runs; k++)); do
  restore; zqr_times+=("$(seconds run_zqr)")
  kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  ((kb > peak)) && peak=$kb
  restore; tool_times+=("$(seconds run_tools)")
done
# zqr's own peak, with a database program that does nothing (so only zqr's work is measured).
mkdir -p "$work/noop"
printf '#!/bin/sh\nexit 0\n' >"$work/noop/msaccess.exe"
chmod +x "$work/noop/msaccess.exe"
cp "$work/program/zqm.ini" "$work/zqm.ini.keep"
printf '[Datenbasis]\r\nPfad=%s/noop/\r\n' "$work" >"$work/program/zqm.ini"
restore; run_zqr || true
own=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
cp "$work/zqm.ini.keep" "$work/program/zqm.ini"

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
mz=$(median "${zqr_times[@]}")
mt=$(median "${tool_times[@]}")
mb=$(( $(stat -c %s "$work/pristine.mdb") / 1024 / 1024 ))
printf 'sample: %d MB, %d runs each\n' "$mb" "$runs"
printf 'zqr /DATEI (B, Warten 0):          median %.2f s  (%s)\n' "$mz" "${zqr_times[*]}"
printf 'cp + 2 counts + sqlite3 VACUUM:    median %.2f s  (%s)\n' "$mt" "${tool_times[*]}"
printf 'ratio: %.3f (target <= 1.15)\n' "$(echo "$mz / $mt" | bc -l)"
printf 'zqr peak memory: %.1f MiB alone (target < 64); %.1f MiB with the stand-in it waits for\n' \
  "$(echo "$own / 1024" | bc -l)" "$(echo "$peak / 1024" | bc -l)"
