#!/usr/bin/env bash
# Checks the Windows packages that scripts/package-windows.sh wrote into the given folder:
# - each zip holds exactly the three programs, the zqu.ini template and both guides as HTML and
#   as plain text (CR LF, lines of at most 100 characters); the programs are Windows programs of
#   the zip's bitness with their manifests and without debug sections, whose version resources carry the versions the
#   programs report, the package's product version, company and copyright; their symbols lie
#   beside the packages;
# - with ZQ_SIGN_PFX set, every program and MSI carries a valid Authenticode signature, and a
#   changed byte breaks it;
# - each MSI installs under Wine into a chosen folder (INSTALLDIR) and lists itself under
#   Uninstall, registers the event source and the Start-menu entries, makes zqu.ini only where
#   it is missing; an older package (ZQ_OLD_PACKAGE_DIR) is upgraded in place with the settings
#   kept; a file in use is reported with a non-zero code; removal takes programs, entries and
#   event source and leaves the INI files.
# Usage: tests/package/check-package.sh <folder>   (WINEPREFIX: a prefix of its own, or one is made)
set -euo pipefail
cd "$(dirname "$0")/../.."
dist=$(realpath "${1:?usage: check-package.sh <folder>}")
version=$(sed -n 's/^project([^)]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d)
own_prefix=""
cleanup() {
  [ -z "$own_prefix" ] || WINEPREFIX="$own_prefix" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

# A program's machine, file version and the strings of its version resource.
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
def value(name):
    label = (name + "\0").encode("utf-16-le")
    n = data.find(label, key)
    if n < 0:
        return ""
    start = n + len(label)
    start += (4 - start % 4) % 4
    end = start
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[start:end].decode("utf-16-le")
print("%s|%d.%d.%d.%d|%s|%s|%s|%s" % ({0x14C: "i386", 0x8664: "x86-64"}.get(machine, hex(machine)),
      ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF, value("ProductName"), value("ProductVersion"),
      value("CompanyName"), value("LegalCopyright")))
PY
}
# The file versions the programs report: major.minor.0.revision of the project version, the
# update tool its major and minor only.
IFS=. read -r major minor revision <<<"$version"
verify_signature() {
  osslsigncode verify -CAfile "$ZQ_SIGN_CA" -in "$1" >"$work/verify.log" 2>&1 ||
    fail "$1: signature not valid: $(tail -3 "$work/verify.log")"
}

expected_files="ADMIN-GUIDE.de.html ADMIN-GUIDE.de.txt ADMIN-GUIDE.en.html ADMIN-GUIDE.en.txt ZQM.exe ZQR.exe ZQU.exe zqu.ini.template"
for suffix in win32 win64; do
  name=Zequora-Tools-$version-$suffix
  zip=$dist/$name.zip
  [ -f "$zip" ] || fail "$zip is missing"
  [ -f "$dist/$name.msi" ] || fail "$dist/$name.msi is missing"
  unzip -q "$zip" -d "$work/$suffix"
  listed=$(cd "$work/$suffix" && find . -type f | sed "s|^\./$name/||" | sort | tr '\n' ' ' | sed 's/ $//')
  [ "$listed" = "$expected_files" ] || fail "$zip holds [$listed], not [$expected_files]"
  machine=i386
  [ "$suffix" = win64 ] && machine=x86-64
  for exe in ZQM ZQR ZQU; do
    file=$work/$suffix/$name/$exe.exe
    facts=$(pe_facts "$file") || fail "$exe.exe in $zip: $facts"
    IFS='|' read -r arch fileversion product productversion company copyright <<<"$facts"
    [ "$arch" = "$machine" ] || fail "$exe.exe in $zip is for $arch, not $machine"
    case $exe in
      ZQM) want=$major.$minor.0.$revision; want_product="ZEQUORA Manager" ;;
      ZQR) want=$major.$minor.0.$revision; want_product="ZEQUORA - Datendatei Reorganisation" ;;
      ZQU) want=$major.$minor.0.0; want_product="ZEQUORA - Update" ;;
    esac
    [ "$fileversion" = "$want" ] || fail "$exe.exe in $zip has file version $fileversion, not $want"
    [ "$product" = "$want_product" ] || fail "$exe.exe in $zip names the product [$product]"
    [ "$productversion" = "$version" ] || fail "$exe.exe in $zip has product version [$productversion], not $version"
    [ "$company" = "ZEQUORA" ] && [ -n "$copyright" ] || fail "$exe.exe in $zip: company [$company], copyright [$copyright]"
    if x86_64-w64-mingw32-objdump -h "$file" | grep -q '\.debug_'; then fail "$exe.exe in $zip carries debug sections"; fi
    # The embedded manifest: the invoker's rights, DPI awareness, the supported Windows versions.
    for part in 'level="asInvoker"' '<dpiAware' 'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"'; do
      grep -q -F "$part" "$file" || fail "$exe.exe in $zip has no manifest with $part"
    done
    [ -s "$dist/symbols/$version-$suffix/$exe.exe.debug" ] || fail "no symbols of $exe.exe beside the packages"
    if [ -n "${ZQ_SIGN_PFX:-}" ]; then verify_signature "$file"; fi
  done
  for guide in "$work/$suffix/$name"/ADMIN-GUIDE.*.txt; do
    python3 - "$guide" <<'PY' || fail "$guide is not CR LF text of at most 100 characters a line"
import sys
text = open(sys.argv[1], encoding="utf-8-sig", newline="").read()
lines = text.split("\r\n")
sys.exit(1 if "\n" in text.replace("\r\n", "") or max(len(l) for l in lines) > 100 else 0)
PY
  done
  grep -q '<table>' "$work/$suffix/$name/ADMIN-GUIDE.de.html" || fail "the HTML guide shows no table"
  grep -q $'^Adresse=X\r$' "$work/$suffix/$name/zqu.ini.template" || fail "the zqu.ini template sets no empty address"
  if [ -n "${ZQ_SIGN_PFX:-}" ]; then
    verify_signature "$dist/$name.msi"
    # One changed byte, and the signature no longer holds.
    cp "$work/$suffix/$name/ZQR.exe" "$work/changed.exe"
    printf 'X' | dd of="$work/changed.exe" bs=1 seek=1000 conv=notrunc status=none
    if osslsigncode verify -CAfile "$ZQ_SIGN_CA" -in "$work/changed.exe" >/dev/null 2>&1; then
      fail "a changed program still passes its signature check"
    fi
  fi
  echo "$zip: $listed; versions, bitness, no debug sections${ZQ_SIGN_PFX:+, signatures valid}"
done

# The MSI under Wine.
if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=$work/prefix
  eval "$(scripts/wine-prefix.sh "$own_prefix" /nonexistent)"
fi
export WINEDEBUG=-all
drive_c=$(winepath -u 'C:\' 2>/dev/null | tr -d '\r')
msiexec() { wine msiexec "$@" </dev/null; }
winpath() { winepath -w "$1" 2>/dev/null | tr -d '\r'; }
uninstall_entries() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:${1} 2>/dev/null | tr -d '\r' |
    grep -A3 'ZEQUORA Hilfsprogramme' | sed -n 's/.*DisplayVersion *REG_SZ *//p' | sort | tr '\n' ' '
}
event_source() { wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\ZQR' /v EventMessageFile 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'; }

for suffix in win64 win32; do
  view=64
  [ "$suffix" = win32 ] && view=32
  msi=$(winpath "$dist/Zequora-Tools-$version-$suffix.msi")
  folder="Zq MSI $suffix $$"
  target="${drive_c%/}/$folder"
  rm -rf "$target"
  mkdir -p "$target"
  # An installation whose settings the package must leave alone: zqm.ini and zqr.ini.
  printf '[Datendatei]\r\nPfad=D:\\Daten\\\r\n' >"$target/zqm.ini"
  printf '[Global]\r\nwarten=7\r\n' >"$target/zqr.ini"
  cp "$target/zqm.ini" "$work/zqm.ini"; cp "$target/zqr.ini" "$work/zqr.ini"
  if [ -n "${ZQ_OLD_PACKAGE_DIR:-}" ]; then
    old=$(ls "$ZQ_OLD_PACKAGE_DIR"/Zequora-Tools-*-$suffix.msi)
    msiexec /i "$(winpath "$old")" /qn "INSTALLDIR=C:\\$folder\\" || fail "$suffix: the older package ended with $?"
    # The administrator has set up the server meanwhile.
    printf '[Server]\r\nAdresse=https://updates.example.com\r\n' >"$target/zqu.ini"
  fi
  cp "$target/zqu.ini" "$work/zqu.ini" 2>/dev/null || rm -f "$work/zqu.ini"
  msiexec /i "$msi" /qn "INSTALLDIR=C:\\$folder\\" || fail "$suffix: msiexec /i ended with $?"
  for f in ZQM.exe ZQR.exe ZQU.exe ADMIN-GUIDE.de.html ADMIN-GUIDE.en.txt zqu.ini.template; do
    cmp -s "$target/$f" "$work/$suffix/Zequora-Tools-$version-$suffix/$f" || fail "$suffix: $f not installed as packed"
  done
  for f in zqm.ini zqr.ini; do cmp -s "$target/$f" "$work/$f" || fail "$suffix: the package changed $f"; done
  if [ -f "$work/zqu.ini" ]; then
    cmp -s "$target/zqu.ini" "$work/zqu.ini" || fail "$suffix: the package changed the existing zqu.ini"
  else
    cmp -s "$target/zqu.ini" scripts/windows-package/zqu.ini.template || fail "$suffix: no zqu.ini made from the template"
  fi
  [ "$(uninstall_entries $view)" = "$version " ] || fail "$suffix: Uninstall lists [$(uninstall_entries $view)], not [$version]"
  [ "$(event_source)" = "C:\\$folder\\ZQR.exe" ] || fail "$suffix: event source names [$(event_source)]"
  find "${drive_c%/}/" -name 'ZEQUORA Manager.lnk' | grep -q . || fail "$suffix: no Start-menu entry for ZQM"
  find "${drive_c%/}/" -name 'ZEQUORA Update.lnk' | grep -q . || fail "$suffix: no Start-menu entry for ZQU"

  msiexec /x "$msi" /qn || fail "$suffix: msiexec /x ended with $?"
  for f in ZQM.exe ZQR.exe ZQU.exe zqu.ini.template; do [ ! -e "$target/$f" ] || fail "$suffix: $f stays after removal"; done
  for f in zqm.ini zqr.ini zqu.ini; do [ -f "$target/$f" ] || fail "$suffix: removal took $f"; done
  [ -z "$(uninstall_entries $view)" ] || fail "$suffix: still listed under Uninstall after removal"
  [ -z "$(event_source)" ] || fail "$suffix: the event source stays after removal"
  if find "${drive_c%/}/" -name 'ZEQUORA Manager.lnk' | grep -q .; then fail "$suffix: the Start-menu entry stays"; fi
  rm -rf "$target"
  echo "$suffix MSI: install into a chosen folder${ZQ_OLD_PACKAGE_DIR:+ over an older package}, settings kept, Uninstall entry, event source, Start menu, clean removal"
done

# An upgrade while ZQR.exe runs (its window open, where a display is): the installer cannot
# replace the program and says so with a non-zero code (3010, "restart required"; Wine passes
# on only its low byte, 194), never 0.
if [ -n "${ZQ_OLD_PACKAGE_DIR:-}" ] && [ -n "${DISPLAY:-}" ]; then
  folder="Zq MSI in use $$"
  target="${drive_c%/}/$folder"
  old=$(ls "$ZQ_OLD_PACKAGE_DIR"/Zequora-Tools-*-win64.msi)
  msiexec /i "$(winpath "$old")" /qn "INSTALLDIR=C:\\$folder\\" || fail "in use: the older package ended with $?"
  before=$(md5sum <"$target/ZQR.exe")
  (cd "$target" && exec wine ZQR.exe </dev/null >/dev/null 2>&1) &
  running=$!
  sleep 3
  code=0
  msiexec /i "$(winpath "$dist/Zequora-Tools-$version-win64.msi")" /qn || code=$?
  kill "$running" 2>/dev/null || true
  wine taskkill /IM ZQR.exe /F >/dev/null 2>&1 || true
  wait "$running" 2>/dev/null || true
  [ "$code" != 0 ] || fail "an upgrade that could not replace the running ZQR.exe ended with 0"
  [ "$(md5sum <"$target/ZQR.exe")" = "$before" ] || fail "the running ZQR.exe was replaced"
  msiexec /x "$(winpath "$dist/Zequora-Tools-$version-win64.msi")" /qn || true
  echo "win64 MSI: an upgrade while ZQR.exe runs ends with $code, the running program stays"
fi
