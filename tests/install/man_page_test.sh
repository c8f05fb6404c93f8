#!/usr/bin/env bash
# The manual page renders without a warning and shows every line of the
# tool's help texts as the tool prints them: `qorvel --help` and
# `qorvel COMMAND --help` for each command. A help text that roff would
# swallow or change (a backslash, a line starting with a dot or a quote)
# fails here.
#   man_page_test.sh QORVEL_TOOL PAGE
set -euo pipefail
tool="$1" page="$2"

warnings="$(groff -man -Tutf8 -ww -z "$page" 2>&1)"
if [ -n "$warnings" ]; then
  echo "FAIL: groff warns on $page:"; echo "$warnings"; exit 1
fi
# Wide enough that no help line is filled or broken; blanks squeezed, since
# the page indents.
rendered="$(MANWIDTH=200 MAN_KEEP_FORMATTING= man -l "$page" 2>/dev/null | col -bx | sed 's/^ *//;s/  */ /g')"

commands="$("$tool" --help | sed -n '/^commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')"
passed=0 failed=0
for args in "" $commands; do
  # shellcheck disable=SC2086
  while IFS= read -r line; do
    line="$(printf '%s' "$line" | sed 's/^ *//;s/  */ /g')"
    [ -z "$line" ] && continue
    if grep -qxF -- "$line" <<< "$rendered"; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      echo "FAIL: qorvel $args --help: line not on the page: $line"
    fi
  done < <("$tool" $args --help)
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
