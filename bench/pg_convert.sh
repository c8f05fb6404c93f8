#!/usr/bin/env bash
# Moving a .mdb into PostgreSQL: `qorvel convert DB postgresql://...` against
# what people do today with mdbtools, each into an empty database of the
# same throwaway server (scripts/pg-server.sh, removed at the end):
#   mdbtools+INSERT  mdb-schema DB postgres | psql, then mdb-export -I postgres
#                    of each table piped into psql, one transaction a table
#   mdbtools+COPY    the same schema, then mdb-export's CSV of each table
#                    into psql's \copy
# Prints wall seconds, the rows that arrived and the speed-up of convert.
#   bench/pg_convert.sh [QORVEL [DB]]
# defaults: build/qorvel, ../shared/fixtures/billing-large.mdb.
set -euo pipefail
cd "$(dirname "$0")/.."
qorvel="${1:-build/qorvel}"
db="$(realpath "${2:-../shared/fixtures/billing-large.mdb}")"
work="$(mktemp -d /tmp/qorvel-pg-convert.XXXXXX)"
chmod 755 "$work"
trap 'scripts/pg-server.sh stop "$work/cluster" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
server="$(scripts/pg-server.sh start "$work/cluster")"
uri_of() { echo "$server" | sed "s#///postgres#///$1#"; }
seconds() { local start end; start=$(date +%s.%N); "$@"; end=$(date +%s.%N); echo "$end - $start" | bc; }
rows_in() {
  psql -qAt "$(uri_of "$1")" -c "SELECT sum(n_live_tup) FROM pg_stat_user_tables" 2>/dev/null
}
tables="$(mdb-tables -1 "$db")"

insert_way() {
  local uri; uri="$(uri_of mdb_insert)"
  mdb-schema "$db" postgres 2>/dev/null | psql -q "$uri" >/dev/null
  while IFS= read -r table; do
    mdb-export -I postgres -q "'" -D '%Y-%m-%d %H:%M:%S' "$db" "$table" | psql -q -1 "$uri" >/dev/null
  done <<< "$tables"
}
copy_way() {
  local uri; uri="$(uri_of mdb_copy)"
  mdb-schema "$db" postgres 2>/dev/null | psql -q "$uri" >/dev/null
  while IFS= read -r table; do
    mdb-export -D '%Y-%m-%d %H:%M:%S' "$db" "$table" |
      psql -q "$uri" -c "\\copy \"${table,,}\" FROM STDIN WITH (FORMAT csv, HEADER true)" >/dev/null
  done <<< "$tables"
}

for name in qorvel mdb_insert mdb_copy; do psql -q "$server" -c "CREATE DATABASE $name"; done
t_qorvel="$(seconds "$qorvel" convert --quiet "$db" "$(uri_of qorvel)" 2>/dev/null)"
t_insert="$(seconds insert_way)"
t_copy="$(seconds copy_way)"
psql -q "$server" -c "ANALYZE" >/dev/null
for name in qorvel mdb_insert mdb_copy; do psql -q "$(uri_of "$name")" -c "ANALYZE" >/dev/null; done
printf '%-18s %9s %9s %9s\n' way seconds rows speed_up
printf '%-18s %9.2f %9s %9s\n' "qorvel convert" "$t_qorvel" "$(rows_in qorvel)" 1
printf '%-18s %9.2f %9s %9.1f\n' "mdbtools+INSERT" "$t_insert" "$(rows_in mdb_insert)" "$(echo "$t_insert / $t_qorvel" | bc -l)"
printf '%-18s %9.2f %9s %9.1f\n' "mdbtools+COPY" "$t_copy" "$(rows_in mdb_copy)" "$(echo "$t_copy / $t_qorvel" | bc -l)"
