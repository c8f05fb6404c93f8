#!/usr/bin/env bash
# The SQLite extension in Debian's sqlite3 shell: every method of the
# library a SQL function of its name and argument count (the methods as the
# tool lists them); the SQLite types of the results, INTEGER, REAL, NULL and
# unconvertible arguments; lookups in a locale of the environment and an
# error result with its box on the billing fixture; and a report query over
# a `qorvel convert` output. (What each method answers: the library's tests
# and the call table, tests/cases/calls.tsv.)
#   extension_test.sh MODULE QORVEL_TOOL SHARED_DIR
# Prints "N passed, N failed"; exits 1 when a case failed.
set -uo pipefail
module="$(realpath "$1")" tool="$2" shared="$3"
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

# "name|arguments" of each method, from lines "N  ID  Name(P As T, ...) As T".
methods="$("$tool" methods | awk '{ sub(/^ *[0-9]+ +[^ ]+ +/, ""); name = tolower($0); sub(/\(.*/, "", name)
  args = $0; sub(/^[^(]*\(/, "", args); sub(/\).*/, "", args)
  print name "|" (args == "" ? 0 : gsub(/,/, "", args) + 1) }' | LC_ALL=C sort)"
names="$(printf "'%s'," $(cut -d'|' -f1 <<< "$methods"))"
check "a SQL function for each of the $(wc -l <<< "$methods") methods" "$methods" \
  "$(sql en-US "select name || '|' || narg from pragma_function_list where name in (${names%,}) order by 1;")"

# The SQLite types of results and arguments.
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
