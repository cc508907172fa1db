#!/bin/sh
# Runs a Windows test program under Wine for ctest (the build's cross-compiling emulator).
# Every test program writes a line to its output first thing, so a run that wrote none was
# never a run of the test. Now and then, in a busy full run, Wine ends a program at once before
# its main has run, silently or with "ShellExecuteEx failed" (seen about once in five to ten
# runs, never reproduced alone): it is started once more, and said so. A program that writes
# nothing twice fails, whatever its exit code: without Wine's 32-bit libraries a 32-bit program
# "runs", prints nothing and ends with 0.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
# Wine's own debug output of the test's child processes lands here too; a test that asks for
# a debug channel reads it there.
export ZQ_WINE_ERRORS="$err"
wine "$@" >"$out" 2>"$err"
rc=$?
if [ ! -s "$out" ]; then
  echo "wine-run.sh: $1 ended with $rc before its main wrote anything; starting it once more" >&2
  cat "$err" >&2
  wine "$@" >"$out" 2>"$err"
  rc=$?
  if [ ! -s "$out" ]; then
    cat "$err" >&2
    echo "wine-run.sh: $1 wrote nothing again (exit $rc): it did not run, or ended before its output" \
      "reached the file. For a 32-bit program, WINEDLLPATH must name Wine's 32-bit libraries" \
      "(scripts/wine32-libs.sh)" >&2
    exit 1
  fi
fi
# A test that failed after Wine lost a program it started (it says so through
# zqwin::SayProgramLost) is run once more; what the first run printed stays in the log.
if [ "$rc" != 0 ] && grep -q '^wine-run: a program the test started was lost by Wine' "$out"; then
  cat "$out"
  cat "$err" >&2
  echo "wine-run.sh: $1 failed after Wine lost a program it started; running it once more" >&2
  wine "$@" >"$out" 2>"$err"
  rc=$?
fi
cat "$out"
cat "$err" >&2
exit "$rc"
