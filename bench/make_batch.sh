#!/usr/bin/env bash
# Writes a batch of mixed lookup lines for `qorvel batch`: the sixteen
# lookups in turn, over the clients, invoices and dates of a database with
# the size of billing-large.mdb (20,000 clients, invoices up to 61,092).
#   make_batch.sh DB LINES > calls.tsv
set -euo pipefail
db="$1"
lines="${2:-100000}"
awk -v db="$db" -v n="$lines" 'BEGIN {
  srand(20111008);
  for (i = 0; i < n; i++) {
    p = int(rand() * 20000) + 1; inv = int(rand() * 60000) + 1000;
    m = i % 16;
    if (m == 0) print "LastModified\t" db "\tClient\t" p;
    else if (m == 1) print "LastModifiedCaseClient\t" db "\tBilling\t" p;
    else if (m == 2) print "LastPaymentDate\t" db "\t" p;
    else if (m == 3) print "LastPaymentAmt\t" db "\t" p;
    else if (m == 4) print "CreditAmount\t" db "\t" p;
    else if (m == 5) print "CreditAmountRetainer\t" db "\t" p;
    else if (m == 6) print "PrevBalDue\t" db "\t" p "\t" inv;
    else if (m == 7) print "PrevInvDateEntered\t" db "\t" p "\t" inv;
    else if (m == 8) print "AgedInvBalances\t" db "\t" p "\t0\t30";
    else if (m == 9) print "PymtCountByDateRange\t" db "\t" p "\t1/1/2010\t12/31/2011 23:59:59";
    else if (m == 10) print "InvoiceBalance\t" db "\t" inv;
    else if (m == 11) print "InvoiceFee\t" db "\t" inv;
    else if (m == 12) print "LTCBenefitTypeEnabledYN\t" db "\t" p "\tRespite";
    else if (m == 13) print "PymtsByDateRange\t" db "\t" p "\t1/1/2010\t12/31/2011\t";
    else if (m == 14) print "WOffsByDateRange\t" db "\t" p "\t1/1/2010\t12/31/2011\t";
    else print "FeesByDateRange\t" db "\t" p "\t1/1/2010\t12/31/2011\t";
  }
}'
