#!/usr/bin/env bash
# The SQLite extension in Debian's sqlite3 shell: every case of the shared
# call table (tests/cases/calls.tsv, the cases the library's own late-bound
# tests run) as a SQL query in its locale, but for the lookups' rows on a
# placeholder database (their results are SQLite numbers here, not the
# table's texts; the lookups are checked below), then the SQLite types of the
# results, NULL and unconvertible arguments, lookups and an error result on
# the billing fixture, and a report query over a `qorvel convert` output.
#   extension_test.sh MODULE CALLS_TSV QORVEL_TOOL SHARED_DIR
# Prints "N passed, N failed"; exits 1 when a case failed.
set -uo pipefail
module="$(realpath "$1")" calls="$2" tool="$3" shared="$4"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
passed=0 failed=0

# check NAME EXPECTED ACTUAL
check() {
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
  fi
}

# sql LOCALE [DB] STATEMENT: the output of one sqlite3 session with the
# extension loaded, the locale set as a Linux host sets it; message boxes go
# to $tmp/stderr.
sql() {
  local locale="$1" db=":memory:"
  shift
  [ $# -gt 1 ] && { db="$1"; shift; }
  LC_ALL="${locale/-/_}.UTF-8" sqlite3 -batch "$db" ".load $module" "$1" 2>"$tmp/stderr"
}

# The call table as one query per locale: each case selects its line number
# and its result when that is not exactly the expected TEXT. Fields are
# SQL text literals (\t \r \n \\ as char() pieces), True and False the
# integers 1 and 0, as a SQL report passes a flag.
to_sql='
function lit(f,    out, i, c, e) {
  if (f == "True") return "1"
  if (f == "False") return "0"
  out = "'\''"
  for (i = 1; i <= length(f); i++) {
    c = substr(f, i, 1)
    if (c == "\\" && i < length(f)) {
      e = substr(f, ++i, 1)
      if (e == "t") out = out "'\'' || char(9) || '\''"
      else if (e == "r") out = out "'\'' || char(13) || '\''"
      else if (e == "n") out = out "'\'' || char(10) || '\''"
      else out = out e
    } else if (c == "'\''") out = out "'\'''\''"
    else out = out c
  }
  return out "'\''"
}
BEGIN { FS = "\t" }
/^#/ || NF == 0 { next }
$1 == locale && $4 ~ /^[$][a-z]/ { skipped++; next }
$1 == locale {
  args = ""
  for (k = 4; k <= NF; k++) args = args (k > 4 ? ", " : "") lit($k)
  printf "select %d, quote(r) from (select %s(%s) as r) where r is not %s;\n", NR, $2, args, lit($3)
  n++
}
END {
  print n > "/dev/stderr"
  if (skipped) printf "skipped %d lookup rows of %s (on a placeholder database)\n", skipped, locale > note
}'

for locale in $(grep -v '^#' "$calls" | cut -f1 | sort -u); do
  awk -v locale="$locale" -v note="$tmp/$locale.note" "$to_sql" "$calls" > "$tmp/$locale.sql" 2> "$tmp/$locale.count"
  [ -f "$tmp/$locale.note" ] && cat "$tmp/$locale.note"
  count="$(cat "$tmp/$locale.count")"
  # One line "N|actual" per case whose result differs.
  bad="$(sql "$locale" "$(cat "$tmp/$locale.sql")")"
  passed=$((passed + count - $(printf '%s' "$bad" | grep -c '^')))
  while IFS='|' read -r line actual; do
    [ -n "$line" ] && check "calls.tsv:$line ($locale)" "'$(sed -n "${line}p" "$calls" | cut -f3)'" "$actual"
  done <<< "$bad"
done

# Types and arguments that the table does not show.
check "result types" "text|integer|text|text" \
  "$(sql en-US "select typeof(FormatMinutes(75)), typeof(PymtCountByDateRange('', 1, '', '')), typeof(GetDateFormat()), typeof(FormatZip(627011234));")"
check "INTEGER and REAL arguments" "62701-1234|1 hr 15 mn|1 hr 15 mn|John Q. Public" \
  "$(sql en-US "select FormatZip(627011234), FormatMinutes(75), FormatMinutes(75.0), FormatName('John', 'Q', 'Public', -1);")"
check "NULL and unconvertible arguments give NULL" "NULL|NULL|NULL" \
  "$(sql en-US "select quote(FormatZip(NULL)), quote(FormatMinutes('abc')), quote(FormatMinutes(3000000000));")"
check "a wrong argument count is refused" "wrong number of arguments" \
  "$(sql en-US "select FormatZip('1', '2');"; grep -o 'wrong number of arguments' "$tmp/stderr")"

if [ -f "$shared/fixtures/billing.mdb" ]; then
  db="$shared/fixtures/billing.mdb"
  check "lookups on billing.mdb" "330.5|real|03/31/2011|2|36.5" \
    "$(sql en-US "select CreditAmount('$db', 417), typeof(CreditAmount('$db', 417)), LastPaymentDate('$db', 417), PymtCountByDateRange('$db', 417, '3/1/2011', '3/31/2011 23:59:59'), PymtsByDateRange('$db', 417, '3/1/2011', '3/31/2011', '');")"
  check "a lookup in the day-first locale" "31/03/2011" \
    "$(sql en-GB "select LastPaymentDate('$db', 417);")"

  # An error gives the error result; the box goes to standard error once
  # per connection.
  sqlite3 "$tmp/empty.sqlite" "create table Other (A integer);"
  check "error result" "-0.01|-0.01" \
    "$(sql en-US "select CreditAmount('$tmp/empty.sqlite', 417), CreditAmount('$tmp/empty.sqlite', 418);")"
  check "one box on standard error" "1" "$(grep -c '^CreditAmount' "$tmp/stderr")"

  # A report over the SQLite copy that `qorvel convert` writes.
  "$tool" convert "$db" "$tmp/billing.sqlite" >/dev/null 2>&1
  check "report query over a converted file" "(555) 123-4567|John Q. Smith|62701-1234|330.5" \
    "$(sql en-US "$tmp/billing.sqlite" "select FormatPhone('', Phone), FormatName(FirstName, MiddleName, LastName, 1), FormatZip(Zip), CreditAmount('$tmp/billing.sqlite', PeopleID) from Client where PeopleID = 417;")"
else
  echo "skipped the lookups: no $shared/fixtures/billing.mdb"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
