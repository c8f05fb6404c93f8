#!/usr/bin/env bash
# Writes a batch of lookup lines for `qorvel batch` on a database shaped
# like billing-large.mdb (clients 1 to 20,000, invoices up to 61,092): the
# sixteen lookups of one client after another, in the order a statement
# report calls them, for LINES / 16 clients drawn at random (fixed seed).
# With --shuffled the lines come in random order instead, each for its own
# client: every call then lands on cold rows, the worst case.
#   make_batch.sh DB LINES [--shuffled] > calls.tsv
set -euo pipefail
db="$1"
lines="${2:-100000}"
shuffled=0
[ "${3:-}" = "--shuffled" ] && shuffled=1
awk -v db="$db" -v n="$lines" -v shuffled="$shuffled" '
function line(m, p, inv) {
  if (m == 0) return "LastModified\t" db "\tClient\t" p;
  if (m == 1) return "LastModifiedCaseClient\t" db "\tBilling\t" p;
  if (m == 2) return "LastPaymentDate\t" db "\t" p;
  if (m == 3) return "LastPaymentAmt\t" db "\t" p;
  if (m == 4) return "CreditAmount\t" db "\t" p;
  if (m == 5) return "CreditAmountRetainer\t" db "\t" p;
  if (m == 6) return "PrevBalDue\t" db "\t" p "\t" inv;
  if (m == 7) return "PrevInvDateEntered\t" db "\t" p "\t" inv;
  if (m == 8) return "AgedInvBalances\t" db "\t" p "\t0\t30";
  if (m == 9) return "PymtCountByDateRange\t" db "\t" p "\t1/1/2010\t12/31/2011 23:59:59";
  if (m == 10) return "InvoiceBalance\t" db "\t" inv;
  if (m == 11) return "InvoiceFee\t" db "\t" inv;
  if (m == 12) return "LTCBenefitTypeEnabledYN\t" db "\t" p "\tRespite";
  if (m == 13) return "PymtsByDateRange\t" db "\t" p "\t1/1/2010\t12/31/2011\t";
  if (m == 14) return "WOffsByDateRange\t" db "\t" p "\t1/1/2010\t12/31/2011\t";
  return "FeesByDateRange\t" db "\t" p "\t1/1/2010\t12/31/2011\t";
}
BEGIN {
  srand(20111008);
  for (i = 0; i < n; i++) {
    if (shuffled || i % 16 == 0) { p = int(rand() * 20000) + 1; inv = int(rand() * 60000) + 1000; }
    print line(i % 16, p, inv);
  }
}'
