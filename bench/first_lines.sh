#!/usr/bin/env bash
# A report's first answers, side by side with another build: the first
# LINES (default 128) report-order lines of make_batch.sh on DB through
# `qorvel batch`, a new process each time, so every run loads the tables.
# The two builds run in turn, RUNS times each (default 9); the medians of
# wall time and peak memory are printed with their ratio. The outputs must
# be the same bytes for both builds, and for 1, 2 and 8 jobs of this one.
#   bench/first_lines.sh OTHER_QORVEL [QORVEL [DB [LINES]]]
# defaults: build/qorvel, ../shared/fixtures/billing-large.mdb, 128.
# The other build is typically an earlier commit, built in a worktree:
#   git worktree add /tmp/base REV && BUILD_DIR=/tmp/base/build /tmp/base/scripts/build.sh
set -euo pipefail
cd "$(dirname "$0")/.."
other="$1"
qorvel="${2:-build/qorvel}"
db="${3:-../shared/fixtures/billing-large.mdb}"
lines="${4:-128}"
runs="${RUNS:-9}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

bench/make_batch.sh "$db" "$lines" > "$work/calls.tsv"
for jobs in 1 2 8; do
  "$qorvel" batch --quiet --jobs "$jobs" "$work/calls.tsv" > "$work/jobs$jobs" 2>/dev/null || true
  if ! cmp -s "$work/jobs1" "$work/jobs$jobs"; then
    echo "jobs $jobs gave other output than jobs 1" >&2
    exit 1
  fi
done
: > "$work/runs"
for run in $(seq "$runs"); do
  for build in other this; do
    binary="$qorvel"
    [ "$build" = other ] && binary="$other"
    /usr/bin/time -f "%e %M" -o "$work/time" "$binary" batch --quiet "$work/calls.tsv" > "$work/out" 2>/dev/null || true
    if ! cmp -s "$work/jobs1" "$work/out"; then
      echo "$binary gave other output" >&2
      exit 1
    fi
    echo "$build $(cat "$work/time")" >> "$work/runs"
  done
done
printf '%-6s %9s %9s\n' build seconds peak_MB
for build in other this; do
  seconds=$(awk -v b="$build" '$1 == b { print $2 }' "$work/runs" | bench/median.sh)
  kb=$(awk -v b="$build" '$1 == b { print $3 }' "$work/runs" | bench/median.sh)
  echo "$build $seconds $kb" >> "$work/medians"
  awk -v b="$build" -v s="$seconds" -v kb="$kb" 'BEGIN { printf "%-6s %9.3f %9.1f\n", b, s, kb / 1024 }'
done
awk '{ s[$1] = $2; m[$1] = $3 } END { printf "this/other: time %.2f, memory %.2f\n", s["this"] / s["other"], m["this"] / m["other"] }' \
  "$work/medians"
