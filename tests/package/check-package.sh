#!/usr/bin/env bash
# Checks the Windows packages that scripts/package-windows.sh wrote into the given folder: each
# zip holds exactly the three programs, the zqu.ini template and both guides, the programs are
# Windows programs of the zip's bitness whose version resources carry the versions the
# programs report, and the 64-bit setup program installs silently under Wine without touching
# existing INI files (the 32-bit one cannot run on these machines).
# Usage: tests/package/check-package.sh <folder>   (WINEPREFIX: a prefix of its own, or one is made)
set -euo pipefail
cd "$(dirname "$0")/../.."
dist=$(realpath "${1:?usage: check-package.sh <folder>}")
version=$(sed -n 's/^project([^)]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d)
own_prefix=""
target=""
fresh=""
cleanup() {
  [ -z "$target" ] || rm -rf "$target"
  [ -z "$fresh" ] || rm -rf "$fresh"
  [ -z "$own_prefix" ] || WINEPREFIX="$own_prefix" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

# The fixed file information of a program's version resource, and its product name.
pe_facts() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
if data[:2] != b"MZ":
    sys.exit("not a Windows program")
pe = struct.unpack_from("<I", data, 0x3C)[0]
machine = struct.unpack_from("<H", data, pe + 4)[0]
key = data.find("VS_VERSION_INFO".encode("utf-16-le"))
at = data.find(b"\xbd\x04\xef\xfe", key, key + 64) if key >= 0 else -1
if at < 0:
    sys.exit("no version resource")
ms, ls = struct.unpack_from("<II", data, at + 8)
name = b"P\0r\0o\0d\0u\0c\0t\0N\0a\0m\0e\0\0\0"
n = data.find(name)
product = ""
if n >= 0:
    start = n + len(name)
    start += (4 - start % 4) % 4
    end = data.find(b"\0\0", start)
    while end >= 0 and (end - start) % 2:
        end = data.find(b"\0\0", end + 1)
    product = data[start:end].decode("utf-16-le")
print("%s %d.%d.%d.%d %s" % ({0x14C: "i386", 0x8664: "x86-64"}.get(machine, hex(machine)),
      ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF, product))
PY
}

# The version a program reports, as the build writes it into its version resource.
constant() { sed -n "s/.*$1 = \([0-9]*\);.*/\1/p" "$2"; }
trace_version() {
  echo "$(constant kVersionMajor "$1").$(constant kVersionMinor "$1").0.$(constant kVersionRevision "$1")"
}

expected_files="ADMIN-GUIDE.de.md ADMIN-GUIDE.en.md ZQM.exe ZQR.exe ZQU.exe zqu.ini.template"
for suffix in win32 win64; do
  name=Zequora-Tools-$version-$suffix
  zip=$dist/$name.zip
  [ -f "$zip" ] || fail "$zip is missing"
  unzip -q "$zip" -d "$work/$suffix"
  listed=$(cd "$work/$suffix" && find . -type f | sed "s|^\./$name/||" | sort | tr '\n' ' ' | sed 's/ $//')
  [ "$listed" = "$expected_files" ] || fail "$zip holds [$listed], not [$expected_files]"
  machine=i386
  [ "$suffix" = win64 ] && machine=x86-64
  for exe in ZQM ZQR ZQU; do
    facts=$(pe_facts "$work/$suffix/$name/$exe.exe") || fail "$exe.exe in $zip: $facts"
    read -r arch fileversion product <<<"$facts"
    [ "$arch" = "$machine" ] || fail "$exe.exe in $zip is for $arch, not $machine"
    case $exe in
      ZQM) want=$(trace_version starter/Global.h); want_product="ZEQUORA Manager" ;;
      ZQR) want=$(trace_version reorg/Global.h); want_product="ZEQUORA - Datendatei Reorganisation" ;;
      ZQU) want=$(constant kZquMajor update/UpdateContext.h).$(constant kZquMinor update/UpdateContext.h).0.0
           want_product="ZEQUORA - Update" ;;
    esac
    [ "$fileversion" = "$want" ] || fail "$exe.exe in $zip has file version $fileversion, not $want"
    [ "$product" = "$want_product" ] || fail "$exe.exe in $zip names the product [$product]"
  done
  grep -q $'^Adresse=X\r$' "$work/$suffix/$name/zqu.ini.template" || fail "the zqu.ini template sets no empty address"
  echo "$zip: $listed; versions and bitness as built"
done

setup=$dist/Zequora-Tools-$version-win64-setup.exe
if [ ! -f "$setup" ]; then
  echo "no setup program in $dist (nsis not installed): setup not checked"
  exit 0
fi
[ -f "$dist/Zequora-Tools-$version-win32-setup.exe" ] || fail "the 32-bit setup program is missing"
if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=$work/prefix
  eval "$(scripts/wine-prefix.sh "$own_prefix" /nonexistent)"
fi
export WINEDEBUG=-all
# As an administrator types it: "/D=" last, unquoted, a folder with blanks (wine itself would
# quote the argument, which the setup does not take). start /wait waits for the program.
cp "$setup" "$work/setup.exe"
run_setup() {
  wine cmd /c "start /wait $(realpath "$work/setup.exe" | sed 's|^|Z:|; s|/|\\|g') /S /D=$1" </dev/null
}
drive_c=$(winepath -u 'C:\' 2>/dev/null | tr -d '\r')
target="${drive_c%/}/Zq Setup Test $$"
rm -rf "$target"
mkdir -p "$target"
# An installation whose settings the setup must leave alone.
printf '[Datendatei]\r\nPfad=D:\\Daten\\\r\n' >"$target/zqm.ini"
printf '[Global]\r\nwarten=7\r\n' >"$target/zqr.ini"
printf '[Server]\r\nAdresse=https://updates.example.com\r\n' >"$target/zqu.ini"
cp "$target/zqm.ini" "$work/zqm.ini"; cp "$target/zqr.ini" "$work/zqr.ini"; cp "$target/zqu.ini" "$work/zqu.ini"
run_setup "C:\\Zq Setup Test $$" || fail "the setup ended with code $?"
for f in ZQM.exe ZQR.exe ZQU.exe ADMIN-GUIDE.de.md ADMIN-GUIDE.en.md zqu.ini.template; do
  cmp -s "$target/$f" "$work/win64/Zequora-Tools-$version-win64/$f" || fail "the setup did not install $f as packed"
done
for f in zqm.ini zqr.ini zqu.ini; do
  cmp -s "$target/$f" "$work/$f" || fail "the setup changed the existing $f"
done
# A fresh folder gets zqu.ini from the template.
fresh="${drive_c%/}/Zq Setup Fresh $$"
rm -rf "$fresh"
run_setup "C:\\Zq Setup Fresh $$" || fail "the setup into a new folder ended with code $?"
cmp -s "$fresh/zqu.ini" "$work/win64/Zequora-Tools-$version-win64/zqu.ini.template" || fail "no zqu.ini from the template"
[ ! -e "$fresh/zqm.ini" ] && [ ! -e "$fresh/zqr.ini" ] || fail "the setup wrote zqm.ini or zqr.ini"
echo "$setup: silent install into a chosen folder, existing INI files kept, zqu.ini made when missing"
