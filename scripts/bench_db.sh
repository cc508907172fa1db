#!/usr/bin/env bash
# Database engine and stand-in against the sqlite3 tool, on one sample data file of at least
# 1 GiB made by zq-sample (half its bulk rows deleted):
#   - compaction: msaccess.exe "<file>" /repair /compact (integrity check included) against
#     sqlite3 FILE VACUUM, each on its own identical copy, two rounds in alternating order;
#   - record count of every table: zq-sample --count (the engine, as the reorganiser counts)
#     against one sqlite3 run counting the same tables, three rounds.
# The best time of each is compared. Everything is removed at the end.
# Usage: scripts/bench_db.sh [build folder]   (default: build)
#   ZQ_BENCH_MB   sample size in MB (default 1100)
#   ZQ_BENCH_DIR  where the sample goes (default /tmp; needs about 5 times the size free)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -x "$build/bin/msaccess.exe" ] || [ ! -x "$build/bin/zq-sample" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target zq_msaccess zq_sample
fi
command -v sqlite3 >/dev/null || { echo "sqlite3 tool missing (apt-get install sqlite3)" >&2; exit 1; }
standin=$(realpath "$build/bin/msaccess.exe")
sample=$(realpath "$build/bin/zq-sample")
size_mb=${ZQ_BENCH_MB:-1100}

work=$(mktemp -d "${ZQ_BENCH_DIR:-/tmp}/zq-bench-db-XXXXXX")
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
elapsed() { echo "$(now) - $1" | bc -l; }
min() { printf '%s\n' "$@" | sort -g | head -1; }
ratio() { printf '%.3f' "$(echo "$1 / $2" | bc -l)"; }

t=$(now)
"$sample" --dir "$work/s" --size-mb "$size_mb" --deleted-share 0.5 >/dev/null
data="$work/s/data/zqdata.mdb"
printf 'sample: %s bytes, made in %.1f s\n' "$(stat -c %s "$data")" "$(elapsed "$t")"

ours=(); theirs=()
for round in 1 2; do
  cp "$data" "$work/a.mdb"; cp "$data" "$work/b.mdb"; sync
  run_standin() { t=$(now); "$standin" "$work/b.mdb" /repair /compact >/dev/null; ours+=("$(elapsed "$t")"); }
  run_sqlite() { t=$(now); sqlite3 "$work/a.mdb" VACUUM; theirs+=("$(elapsed "$t")"); }
  if [ $round = 1 ]; then run_sqlite; run_standin; else run_standin; run_sqlite; fi
  [ "$(stat -c %s "$work/a.mdb")" = "$(stat -c %s "$work/b.mdb")" ] || echo "note: compacted sizes differ" >&2
  printf 'compaction round %s: stand-in %.2f s, sqlite3 VACUUM %.2f s, %s -> %s bytes\n' \
    $round "${ours[-1]}" "${theirs[-1]}" "$(stat -c %s "$data")" "$(stat -c %s "$work/b.mdb")"
  rm -f "$work/a.mdb" "$work/b.mdb"
done
c_ours=$(min "${ours[@]}"); c_theirs=$(min "${theirs[@]}")

tables=$(sqlite3 "$data" "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\_%' ESCAPE '\' ORDER BY name COLLATE NOCASE, name")
sql=""
for name in $tables; do sql+="SELECT count(*) FROM [$name];"; done
ours=(); theirs=()
for round in 1 2 3; do
  t=$(now); engine_counts=$("$sample" --count "$data" | grep -v '^total' | cut -f2); ours+=("$(elapsed "$t")")
  t=$(now); tool_counts=$(sqlite3 "$data" "$sql"); theirs+=("$(elapsed "$t")")
  [ "$engine_counts" = "$tool_counts" ] || { echo "record counts differ" >&2; exit 1; }
done
n_ours=$(min "${ours[@]}"); n_theirs=$(min "${theirs[@]}")
total=$(echo "$tool_counts" | paste -sd+ | bc)

printf 'compaction: stand-in %.2f s, sqlite3 VACUUM %.2f s, ratio %s (target <= 1.05)\n' \
  "$c_ours" "$c_theirs" "$(ratio "$c_ours" "$c_theirs")"
printf 'count of %s tables (%s records): engine %.3f s, sqlite3 %.3f s, ratio %s (target <= 1.1)\n' \
  "$(echo "$tables" | wc -w)" "$total" "$n_ours" "$n_theirs" "$(ratio "$n_ours" "$n_theirs")"
