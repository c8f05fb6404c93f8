#!/usr/bin/env bash
# `qorvel batch` of 100,000 report-order lines (make_batch.sh) against a
# PostgreSQL server instead of the file: starts a throwaway server
# (scripts/pg-server.sh, removed at the end), copies the database into it
# with `qorvel convert`, then runs bench/batch_jobs.sh with the server's URI
# as the database (1 and 2 jobs, report order and shuffled, each output
# checked to be the same for 1, 2 and 8 jobs).
#   bench/pg_batch.sh [QORVEL [DB [LINES]]]
# defaults: build/qorvel, ../shared/fixtures/billing-large.mdb, 100000.
set -euo pipefail
cd "$(dirname "$0")/.."
qorvel="${1:-build/qorvel}"
db="${2:-../shared/fixtures/billing-large.mdb}"
lines="${3:-100000}"
work="$(mktemp -d /tmp/qorvel-pg-batch.XXXXXX)"
chmod 755 "$work"
trap 'scripts/pg-server.sh stop "$work/cluster" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
uri="$(scripts/pg-server.sh start "$work/cluster")"
"$qorvel" convert --quiet "$db" "$uri"
bench/batch_jobs.sh "$qorvel" "$uri" "$lines"
