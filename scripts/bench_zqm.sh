#!/usr/bin/env bash
# Measures what zqm adds to the start of the Manager: a full start of zqm (trace, settings,
# registry, trusted locations, launch; no update waiting) against starting the database
# program stand-in directly with the same command line. Both are timed from the start until
# the stand-in has reported the front end, interleaved, and the medians are compared.
# Usage: scripts/bench_zqm.sh [build folder] [runs]
#        scripts/bench_zqm.sh --windows [windows build folder, default build-windows64] [runs]
# The Windows variant does the same with ZQM.exe and the Windows stand-in, both under the same
# Wine (a throw-away prefix with its wineserver started first, the stand-in DAO server
# registered).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--windows" ]; then
  build=${2:-build-windows64}
  runs=${3:-20}
  bin="$build/bin"
  for f in ZQM.exe msaccess.exe DaoServer.dll; do
    [ -f "$bin/$f" ] || { echo "missing $bin/$f (build the preset windows64 first)" >&2; exit 1; }
  done
  work=$(mktemp -d /tmp/zq-bench-wine.XXXXXX)
  trap 'WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
  eval "$(scripts/wine-prefix.sh "$work/prefix" "$build")"
  mkdir -p "$work/prog" "$work/office" "$work/daten/UpdStore"
  cp "$bin/ZQM.exe" "$work/prog/ZQM.exe"
  cp "$bin/msaccess.exe" "$work/office/msaccess.exe"
  win() { winepath -w "$1" 2>/dev/null; }
  python3 - "$work" "$(win "$work/daten")" <<'PY'
import sqlite3, sys
w, data = sys.argv[1], sys.argv[2]
db = sqlite3.connect(w + "/prog/zqm.zqf")
db.execute("CREATE TABLE tbl_Intern (VI_Major TEXT, VI_Minor TEXT, VI_Beta TEXT)")
db.execute("INSERT INTO tbl_Intern VALUES ('4.1', '.23', NULL)")
db.commit()
open(w + "/prog/zqm.ini", "w", newline="").write(
    "[Datenbasis]\r\nVersion=14.0\r\nBit=32\r\nPfad=X\r\n[Datendatei]\r\nNetzwerk=n\r\n"
    "Pfad=" + data + "\r\n[Update]\r\nLogCreate=N\r\n")
PY
  wine reg add 'HKLM\Software\Microsoft\Office\14.0\Common\InstallRoot' /ve /d "$(win "$work/office")" /f \
    </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Microsoft\Office\14.0\Access\Security\Trusted Locations' /f \
    </dev/null >/dev/null 2>&1
  export ZEQUORA_STANDIN_LOG
  ZEQUORA_STANDIN_LOG=$(win "$work/standin.log")
  python3 - "$work" "$runs" "$(win "$work/prog/zqm.zqf")" <<'PY'
import os, statistics, subprocess, sys, time
w, runs, frontEnd = sys.argv[1], int(sys.argv[2]), sys.argv[3]
log = w + "/standin.log"
args = ["/excl", "/cmd", "Bench"]
zqm = ["wine", w + "/prog/ZQM.exe"] + args
direct = ["wine", w + "/office/msaccess.exe", "/runtime", frontEnd] + args

def once(cmd):
    if os.path.exists(log):
        os.remove(log)
    t0 = time.perf_counter()
    p = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    deadline = t0 + 30
    while True:
        try:
            with open(log, "rb") as f:
                if f.read().endswith(b"\n"):
                    break
        except FileNotFoundError:
            pass
        if time.perf_counter() > deadline:
            sys.exit("no report from the stand-in within 30 s: " + " ".join(cmd))
        time.sleep(0.0005)
    elapsed = (time.perf_counter() - t0) * 1000
    p.wait()
    return elapsed

once(zqm)
trace = open(w + "/prog/ZQM_Start_Trace.txt", encoding="cp1252", errors="replace").read()
if "*** Start Zequora Manager ***" not in trace or "Add folders to trusted locations" not in trace:
    sys.exit("ZQM.exe did not run its full start:\n" + trace)
a, b = [], []
for _ in range(runs):
    a.append(once(zqm))
    b.append(once(direct))
ma, mb = statistics.median(a), statistics.median(b)
print(f"runs: {runs} (under Wine)")
print(f"ZQM.exe full start: median {ma:.2f} ms (min {min(a):.2f}, max {max(a):.2f})")
print(f"stand-in directly:  median {mb:.2f} ms (min {min(b):.2f}, max {max(b):.2f})")
print(f"added by ZQM.exe:   {ma - mb:.2f} ms at the median (target: at most 15 ms)")
PY
  exit 0
fi
build=${1:-build}
runs=${2:-40}
bin="$build/bin"
for f in zqm msaccess.exe; do
  [ -x "$bin/$f" ] || { echo "missing $bin/$f (build the targets zqm and zq_msaccess first)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/prog" "$work/office" "$work/daten/UpdStore" "$work/registry" "$work/home"
cp "$bin/zqm" "$work/prog/zqm"
cp "$bin/msaccess.exe" "$work/office/msaccess.exe"
python3 - "$work" <<'PY'
import sqlite3, sys
w = sys.argv[1]
db = sqlite3.connect(w + "/prog/zqm.zqf")
db.execute("CREATE TABLE tbl_Intern (VI_Major TEXT, VI_Minor TEXT, VI_Beta TEXT)")
db.execute("INSERT INTO tbl_Intern VALUES ('4.1', '.23', NULL)")
db.commit()
open(w + "/prog/zqm.ini", "w", newline="").write(
    "[Datenbasis]\r\nVersion=14.0\r\nBit=32\r\nPfad=X\r\n[Datendatei]\r\nNetzwerk=n\r\n"
    "Pfad=" + w + "/daten\r\n[Update]\r\nLogCreate=N\r\n")
open(w + "/registry/HKEY_LOCAL_MACHINE.reg", "w", newline="").write(
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Office\\14.0\\Common\\InstallRoot]\r\n"
    "@=\"" + w + "/office\"\r\n\r\n")
open(w + "/registry/HKEY_CURRENT_USER.reg", "w", newline="").write(
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\14.0\\Access\\Security\\Trusted Locations]\r\n\r\n")
PY

export ZEQUORA_UI=console ZEQUORA_REGISTRY="$work/registry" HOME="$work/home"
export XDG_CACHE_HOME="$work/home/.cache" WINEPREFIX="$work/home/.wine"
export ZEQUORA_STANDIN_LOG="$work/standin.log"

python3 - "$work" "$runs" <<'PY'
import os, statistics, subprocess, sys, time
w, runs = sys.argv[1], int(sys.argv[2])
log = os.environ["ZEQUORA_STANDIN_LOG"]
args = ["/excl", "/cmd", "Bench"]
zqm = [w + "/prog/zqm"] + args
direct = [w + "/office/msaccess.exe", "/runtime", w + "/prog/zqm.zqf"] + args

def once(cmd):
    if os.path.exists(log):
        os.remove(log)
    t0 = time.perf_counter()
    p = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    deadline = t0 + 10
    while True:
        try:
            with open(log, "rb") as f:
                if f.read().endswith(b"\n"):
                    break
        except FileNotFoundError:
            pass
        if time.perf_counter() > deadline:
            sys.exit("no report from the stand-in within 10 s: " + " ".join(cmd))
        time.sleep(0.0002)
    elapsed = (time.perf_counter() - t0) * 1000
    p.wait()
    return elapsed

once(zqm)
trace = open(w + "/prog/ZQM_Start_Trace.txt", encoding="utf-8", errors="replace").read()
if "*** Start Zequora Manager ***" not in trace or "Add folders to trusted locations" not in trace:
    sys.exit("zqm did not run its full start:\n" + trace)
a, b = [], []
for _ in range(runs):
    a.append(once(zqm))
    b.append(once(direct))
ma, mb = statistics.median(a), statistics.median(b)
print(f"runs: {runs}")
print(f"zqm full start:     median {ma:.2f} ms (min {min(a):.2f}, max {max(a):.2f})")
print(f"stand-in directly:  median {mb:.2f} ms (min {min(b):.2f}, max {max(b):.2f})")
print(f"added by zqm:       {ma - mb:.2f} ms at the median (target: at most 15 ms)")
PY
