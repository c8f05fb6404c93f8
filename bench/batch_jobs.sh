#!/usr/bin/env bash
# Whole batches side by side: `qorvel batch` on 100,000 lines (make_batch.sh)
# in report order and shuffled, with 1 and 2 jobs, giving wall time, peak
# memory and the speed-up of 2 jobs; every output is checked to be the same
# bytes for 1, 2 and 8 jobs. Loading the tables is included.
#   bench/batch_jobs.sh [QORVEL [DB [LINES]]]
# defaults: build/qorvel, ../shared/fixtures/billing-large.mdb, 100000.
# RUNS=N (default 1) runs 1 and 2 jobs N times, one after the other, and
# prints the median of each figure (on a shared machine a single run can be
# off by half).
set -euo pipefail
cd "$(dirname "$0")/.."
qorvel="${1:-build/qorvel}"
db="${2:-../shared/fixtures/billing-large.mdb}"
lines="${3:-100000}"
runs="${RUNS:-1}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

printf '%-10s %5s %9s %9s %9s\n' order jobs seconds peak_MB speed_up
for order in report shuffled; do
  flag=""
  [ "$order" = shuffled ] && flag="--shuffled"
  bench/make_batch.sh "$db" "$lines" $flag > "$work/calls.tsv"
  : > "$work/runs"
  for run in $(seq "$runs"); do
    for jobs in 1 2 8; do
      [ "$jobs" = 8 ] && [ "$run" -gt 1 ] && continue  # checked for its bytes once
      /usr/bin/time -f "%e %M" -o "$work/time" "$qorvel" batch --quiet --jobs "$jobs" "$work/calls.tsv" \
        > "$work/out$jobs" 2>/dev/null || true
      if ! cmp -s "$work/out1" "$work/out$jobs"; then
        echo "jobs $jobs gave other output than jobs 1" >&2
        exit 1
      fi
      read -r seconds kb < "$work/time"
      echo "$run $jobs $seconds $kb" >> "$work/runs"
    done
  done
  # The speed-up of each run: its 1-job time over its 2-job time.
  awk '$2 == 1 { one[$1] = $3 } $2 == 2 { print one[$1] / $3 }' "$work/runs" | bench/median.sh > "$work/speed_up"
  for jobs in 1 2; do
    seconds=$(awk -v j="$jobs" '$2 == j { print $3 }' "$work/runs" | bench/median.sh)
    kb=$(awk -v j="$jobs" '$2 == j { print $4 }' "$work/runs" | bench/median.sh)
    speed_up=1
    [ "$jobs" = 2 ] && speed_up=$(cat "$work/speed_up")
    awk -v o="$order" -v j="$jobs" -v s="$seconds" -v kb="$kb" -v x="$speed_up" \
      'BEGIN { printf "%-10s %5s %9.2f %9.1f %9.2f\n", o, j, s, kb / 1024, x }'
  done
done
