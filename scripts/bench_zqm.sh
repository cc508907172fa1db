#!/usr/bin/env bash
# Measures what zqm adds to the start of the Manager: a full start of zqm (trace, settings,
# registry, trusted locations, launch; no update waiting) against starting the database
# program stand-in directly with the same command line. Both are timed from the start until
# the stand-in has reported the front end, interleaved, and the medians are compared.
# Usage: scripts/bench_zqm.sh [build folder] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
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
