#!/usr/bin/env bash
# Measures a full unattended reorganisation by zqr ("Sicherungskopie" = "B", "Warten" = 0:
# backup copy, census before, compaction by the database program stand-in, census after,
# log and result records) against the same work done by standard tools in one run: cp of the
# file, two counts of all tables and sqlite3 VACUUM. Every run starts from the same pristine
# sample (restored untimed, page cache warm for both); runs are interleaved and the medians
# compared. zqr's peak memory comes from /usr/bin/time -v (it includes the stand-in, which zqr
# waits for).
# Usage: scripts/bench_zqr.sh [build folder] [size MB] [runs]
#        scripts/bench_zqr.sh --windows [windows build folder, default build-windows64] [size MB] [runs]
# (build-windows, the 32-bit build, runs in Wine's WoW64 mode with the 32-bit script host.)
# The Windows variant runs ZQR.exe /DATEI under Wine (a throw-away prefix with its wineserver
# started first, the stand-in DAO server registered) against the same work done by the Windows
# stand-ins alone under the same Wine, in one script host: the copy (the scripting file-system
# object), a count of every table through DAO, the compaction by msaccess.exe, the counts
# again. The sample comes from zq-sample of the Linux build (ZQ_LINUX_BUILD, default build-ci).
# ZQR.exe's own peak working set is the peak resident size Linux reports for its process.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--windows" ]; then
  build=${2:-build-windows64}
  size=${3:-300}
  runs=${4:-3}
  bin="$build/bin"
  sample="${ZQ_LINUX_BUILD:-build-ci}/bin/zq-sample"
  for f in "$bin/ZQR.exe" "$bin/msaccess.exe" "$bin/DaoServer.dll" "$sample"; do
    [ -f "$f" ] || { echo "missing $f (build the preset windows or windows64, and zq_sample of the Linux build)" >&2; exit 1; }
  done
  work=$(mktemp -d /tmp/zq-bench-zqr-wine.XXXXXX)
  trap 'WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
  eval "$(scripts/wine-prefix.sh "$work/prefix" "$build")"
  # A 32-bit build's DAO server is registered in the 32-bit view: the 32-bit script host finds it.
  host=cscript
  [ -n "${WINEDLLPATH:-}" ] && host='C:\windows\syswow64\cscript.exe'
  export ZQ_SCRIPT_HOST=$host
  "$sample" --dir "$work" --size-mb "$size" >/dev/null
  mkdir -p "$work/office"
  cp "$bin/ZQR.exe" "$work/program/ZQR.exe"
  cp "$bin/msaccess.exe" "$work/office/msaccess.exe"
  win() { winepath -w "$1" 2>/dev/null; }
  printf '[Datenbasis]\r\nPfad=%s\r\n' "$(win "$work/office")" >"$work/program/zqm.ini"
  printf '[Global]\r\nsicherungskopie=b\r\nwarten=0\r\nlogdatei=a\r\ndateianzahlmax=1\r\n' >"$work/program/zqr.ini"
  cp "$work/data/zqdata.mdb" "$work/pristine.mdb"
  # The stand-ins' share of the work, in the script host that Wine brings.
  cat >"$work/tools.js" <<'JS'
var data = WScript.Arguments(0), copy = WScript.Arguments(1), access = WScript.Arguments(2);
function count() {
  var db = new ActiveXObject("DAO.DBEngine.120").OpenDatabase(data, false, false, ";pwd=");
  var defs = db.TableDefs, sum = 0;
  for (var i = 0; i < defs.Count; i++) {
    var name = defs.Item(i).Name;
    if (name.substr(0, 3).toLowerCase() != "tbl") continue;
    var rs = db.OpenRecordset("select * from [" + name + "]", 4);
    if (rs.RecordCount > 0) { rs.MoveLast(); sum += rs.RecordCount; }
    rs.Close();
  }
  db.Close();
  return sum;
}
new ActiveXObject("Scripting.FileSystemObject").CopyFile(data, copy, true);
var before = count();
var code = new ActiveXObject("WScript.Shell").Run('"' + access + '" "' + data + '" /repair /compact', 1, true);
var after = count();
if (code != 0 || before != after || before == 0) { WScript.Echo("failed: " + code + " " + before + " " + after); WScript.Quit(1); }
JS
  python3 - "$work" "$runs" "$(win "$work/data/zqdata.mdb")" "$(win "$work/copy.mdb")" \
    "$(win "$work/office/msaccess.exe")" "$(win "$work/tools.js")" <<'PY'
import os, shutil, statistics, subprocess, sys, time
w, runs, data, copy, access, tools = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6]
zqr = ["wine", w + "/program/ZQR.exe", "/DATEI", data]
direct = ["wine", os.environ["ZQ_SCRIPT_HOST"], "//nologo", tools, data, copy, access]

def restore():
    shutil.rmtree(w + "/data/Save", ignore_errors=True)
    for f in ("copy.mdb",):
        if os.path.exists(w + "/" + f):
            os.remove(w + "/" + f)
    shutil.copyfile(w + "/pristine.mdb", w + "/data/zqdata.mdb")
    os.sync()

def once(cmd):
    """Seconds until the command ended, and the peak resident size of its process in KiB."""
    restore()
    t0 = time.perf_counter()
    p = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak = 0
    while p.poll() is None:
        try:
            for line in open("/proc/%d/status" % p.pid):
                if line.startswith("VmHWM:"):
                    peak = max(peak, int(line.split()[1]))
        except OSError:
            pass
        time.sleep(0.01)
    elapsed = time.perf_counter() - t0
    if p.returncode != 0:
        sys.exit("%s ended with %d" % (" ".join(cmd), p.returncode))
    return elapsed, peak

once(zqr)
trace = open(w + "/program/ZQR_Reorg_Trace.txt", encoding="cp1252", errors="replace").read()
if "Result           : OK | exit code 0" not in trace or "Writing results to data file\r\nResult           : OK" not in trace.replace("\n", "\r\n"):
    sys.exit("ZQR.exe did not run its whole reorganisation:\n" + trace)
once(direct)
a, b, peaks = [], [], []
for _ in range(runs):
    t, peak = once(zqr)
    a.append(t)
    peaks.append(peak)
    b.append(once(direct)[0])
mb = os.path.getsize(w + "/pristine.mdb") // (1024 * 1024)
ma, mb_ = statistics.median(a), statistics.median(b)
print("sample: %d MB, %d runs each, under %s" % (mb, runs, subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()))
print("ZQR.exe /DATEI (B, Warten 0):             median %.2f s  (%s)" % (ma, ", ".join("%.2f" % x for x in a)))
print("stand-ins: copy + counts + compaction:    median %.2f s  (%s)" % (mb_, ", ".join("%.2f" % x for x in b)))
print("ratio: %.3f (target <= 1.15)" % (ma / mb_))
print("ZQR.exe peak working set: %.1f MiB (target < 64)" % (max(peaks) / 1024))
PY
  exit 0
fi
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
