#!/usr/bin/env bash
# How the cost grows with the rows. Makes SQLite billing files of 1, 2 and 4
# times the rows of billing-large.mdb (`qorvel convert`, then every row
# copied with its PeopleID, positive InvoiceNumber and GUIDs moved past the
# originals, so each client's lookups find as many rows as before) and
# prints for each size:
#   first_ms  the first answer of a new process: one PymtsByDateRange call,
#             which loads ActivityLog and Payment (the largest tables) and
#             builds their indexes (lookup_timing first; median of RUNS)
#   warm_us   a lookup warm, the geometric mean of the sixteen
#             (lookup_timing warm)
#   peak_MB   the peak memory of the warm run, which loads every table the
#             lookups read
# Load time and memory should grow with the rows, a warm lookup by no more
# than one level of an index.
#   bench/growth.sh [BUILD [DB]]   defaults: build, ../shared/fixtures/billing-large.mdb
# RUNS=N (default 3) first answers per size.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
db="${2:-../shared/fixtures/billing-large.mdb}"
runs="${RUNS:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --build "$build" --target qorvel qorvel_lookup_timing >/dev/null
timing="$build/qorvel_lookup_timing"

# The rows of every table copied `copies` times more, keys moved by
# 10,000,000 a copy (GUIDs get the copy's number as their first digits).
grow() {
  local file="$1" copies="$2" sql="" table columns select
  for table in $(sqlite3 "$file" "SELECT name FROM sqlite_master WHERE type = 'table'"); do
    columns="$(sqlite3 "$file" "SELECT group_concat('\"' || name || '\"', ', ') FROM pragma_table_info('$table')")"
    for copy in $(seq "$copies"); do
      select="$(sqlite3 "$file" "SELECT group_concat(CASE
          WHEN name = 'PeopleID' THEN '\"PeopleID\" + $copy * 10000000'
          WHEN name = 'InvoiceNumber' THEN 'CASE WHEN \"InvoiceNumber\" > 0 THEN \"InvoiceNumber\" + $copy * 10000000 ELSE \"InvoiceNumber\" END'
          WHEN name LIKE '%GUID' THEN '''{' || printf('%02X', $copy + 0xF0) || ''' || substr(\"' || name || '\", 4)'
          ELSE '\"' || name || '\"' END, ', ') FROM pragma_table_info('$table')")"
      sql+="INSERT INTO \"$table\" ($columns) SELECT $select FROM \"$table\" WHERE rowid <= (SELECT count(*) FROM \"$table\") / $((copy));"
    done
  done
  sqlite3 "$file" "BEGIN; $sql COMMIT;"
}

"$build/qorvel" convert --quiet "$db" "$work/x1.sqlite"
printf '%-6s %10s %9s %9s %9s\n' size rows first_ms warm_us peak_MB
for size in 1 2 4; do
  file="$work/x$size.sqlite"
  if [ "$size" != 1 ]; then
    cp "$work/x1.sqlite" "$file"
    grow "$file" $((size - 1))
    touch -d "1 minute ago" "$file"  # a file just written is loaded only once it is still
  fi
  rows="$(sqlite3 "$file" "SELECT (SELECT count(*) FROM ActivityLog) + (SELECT count(*) FROM Payment) +
    (SELECT count(*) FROM Client) + (SELECT count(*) FROM Credit) + (SELECT count(*) FROM Invoice) +
    (SELECT count(*) FROM CaseClientContact) + (SELECT count(*) FROM LTCBenefit)")"
  first="$(for run in $(seq "$runs"); do
    "$timing" first PymtsByDateRange "$file" | awk '{ print $3 }'
  done | bench/median.sh)"
  /usr/bin/time -f "%M" -o "$work/peak" "$timing" warm "$file" 21 > "$work/warm"
  warm="$(awk '{ s += log($3); n++ } END { printf "%.2f", exp(s / n) }' "$work/warm")"
  printf '%-6s %10s %9.1f %9s %9.0f\n' "${size}x" "$rows" "$first" "$warm" "$(($(cat "$work/peak") / 1024))"
done
