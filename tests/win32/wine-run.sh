#!/bin/sh
# Runs a Windows test program under Wine for ctest (the build's cross-compiling emulator).
# Now and then, in a busy full run, Wine ends a program at once with no output at all, before
# its main has run (seen about once in five runs, never reproduced alone). Every test program
# writes a line first thing, so a run that failed without writing anything was never a run of
# the test: it is started once more, and said so. A test that fails always writes why, and a
# program that cannot start fails both times.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
wine "$@" >"$out" 2>"$err"
rc=$?
if [ "$rc" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-run.sh: $1 ended with $rc before writing anything; starting it once more" >&2
  wine "$@" >"$out" 2>"$err"
  rc=$?
fi
cat "$out"
cat "$err" >&2
exit "$rc"
