#!/usr/bin/env bash
# Compares the symbols a shared object exports with the expected list, so
# that an internal symbol that leaks out (or a public one that goes
# missing) fails the test. Each line of the list is one demangled symbol as
# `nm -D --defined-only -C` names it; '#' lines are comments.
#   check_exports.sh LIBRARY EXPECTED
# To accept a deliberate change of the API, write the new list with
#   check_exports.sh LIBRARY EXPECTED --write
set -euo pipefail
lib="$1" expected="$2"

# The name only: nm prints an address and a type letter first.
actual="$(nm -D --defined-only -C "$lib" | cut -d' ' -f3- | LC_ALL=C sort -u)"
if [ "${3:-}" = "--write" ]; then
  { grep '^#' "$expected" || true; printf '%s\n' "$actual"; } > "$expected.new"
  mv "$expected.new" "$expected"
  exit 0
fi
if ! diff -u <(grep -v '^#' "$expected") <(printf '%s\n' "$actual"); then
  echo "FAIL: $lib exports other symbols than $expected lists (- expected, + exported)" >&2
  exit 1
fi
echo "ok: $lib exports the $(printf '%s\n' "$actual" | wc -l) symbols of $expected"
