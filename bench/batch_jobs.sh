#!/usr/bin/env bash
# Whole batches side by side: `qorvel batch` on 100,000 lines (make_batch.sh)
# in report order and shuffled, with 1 and 2 jobs, giving wall time, peak
# memory and the speed-up of 2 jobs; every output is checked to be the same
# bytes for 1, 2 and 8 jobs. Loading the tables is included.
#   bench/batch_jobs.sh [QORVEL [DB [LINES]]]
# defaults: build/qorvel, ../shared/fixtures/billing-large.mdb, 100000.
set -euo pipefail
cd "$(dirname "$0")/.."
qorvel="${1:-build/qorvel}"
db="${2:-../shared/fixtures/billing-large.mdb}"
lines="${3:-100000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

printf '%-10s %5s %9s %9s %9s\n' order jobs seconds peak_MB speed_up
for order in report shuffled; do
  flag=""
  [ "$order" = shuffled ] && flag="--shuffled"
  bench/make_batch.sh "$db" "$lines" $flag > "$work/calls.tsv"
  one=""
  for jobs in 1 2 8; do
    /usr/bin/time -f "%e %M" -o "$work/time" "$qorvel" batch --quiet --jobs "$jobs" "$work/calls.tsv" \
      > "$work/out$jobs" 2>/dev/null || true
    read -r seconds kb < "$work/time"
    [ "$jobs" = 1 ] && one="$seconds"
    if ! cmp -s "$work/out1" "$work/out$jobs"; then
      echo "jobs $jobs gave other output than jobs 1" >&2
      exit 1
    fi
    [ "$jobs" = 8 ] && continue  # checked for its bytes only
    awk -v o="$order" -v j="$jobs" -v s="$seconds" -v kb="$kb" -v one="$one" \
      'BEGIN { printf "%-10s %5s %9s %9.1f %9.2f\n", o, j, s, kb / 1024, one / s }'
  done
done
