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
# Times a full start of the Manager program against the stand-in started directly, both until
# the stand-in has reported the front end, interleaved; prints the medians.
# Usage: measure <program label> <trace encoding> <seconds to wait> <zqm command...> -- <direct command...>
measure() {
  python3 - "$work" "$runs" "$@" <<'PY'
import os, statistics, subprocess, sys, time
w, runs, label, encoding, wait = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], float(sys.argv[5])
split = sys.argv.index("--")
zqm, direct = sys.argv[6:split], sys.argv[split + 1:]
log = w + "/standin.log"

def once(cmd):
    if os.path.exists(log):
        os.remove(log)
    t0 = time.perf_counter()
    p = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    deadline = t0 + wait
    while True:
        try:
            with open(log, "rb") as f:
                if f.read().endswith(b"\n"):
                    break
        except FileNotFoundError:
            pass
        if time.perf_counter() > deadline:
            sys.exit(f"no report from the stand-in within {wait:.0f} s: " + " ".join(cmd))
        time.sleep(0.0002)
    elapsed = (time.perf_counter() - t0) * 1000
    p.wait()
    return elapsed

once(zqm)
trace = open(w + "/prog/ZQM_Start_Trace.txt", encoding=encoding, errors="replace").read()
if "*** Start Zequora Manager ***" not in trace or "Add folders to trusted locations" not in trace:
    sys.exit(label + " did not run its full start:\n" + trace)
a, b = [], []
for _ in range(runs):
    a.append(once(zqm))
    b.append(once(direct))
ma, mb = statistics.median(a), statistics.median(b)
print(f"runs: {runs}")
width = max(len(label) + 13, 20)
print(f"{label + ' full start:':{width}s}median {ma:.2f} ms (min {min(a):.2f}, max {max(a):.2f})")
print(f"{'stand-in directly:':{width}s}median {mb:.2f} ms (min {min(b):.2f}, max {max(b):.2f})")
print(f"added by {label}: {ma - mb:.2f} ms at the median (target: at most 15 ms)")
PY
}

# The front end and zqm.ini of the installation in <work>/prog, the data folder as given.
program_files() {
  python3 - "$1" "$2" <<'PY'
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
}

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
  program_files "$work" "$(win "$work/daten")"
  wine reg add 'HKLM\Software\Microsoft\Office\14.0\Common\InstallRoot' /ve /d "$(win "$work/office")" /f \
    </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Microsoft\Office\14.0\Access\Security\Trusted Locations' /f \
    </dev/null >/dev/null 2>&1
  export ZEQUORA_STANDIN_LOG
  ZEQUORA_STANDIN_LOG=$(win "$work/standin.log")
  measure "ZQM.exe (Wine)" cp1252 30 wine "$work/prog/ZQM.exe" /excl /cmd Bench \
    -- wine "$work/office/msaccess.exe" /runtime "$(win "$work/prog/zqm.zqf")" /excl /cmd Bench
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
program_files "$work" "$work/daten"
python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
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

measure zqm utf-8 10 "$work/prog/zqm" /excl /cmd Bench \
  -- "$work/office/msaccess.exe" /runtime "$work/prog/zqm.zqf" /excl /cmd Bench
