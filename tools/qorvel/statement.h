// qorvel statement: a client's account statement, built from the 24
// report functions as a report calls them.
//
// Like a report, the statement reads the client's own fields (name,
// address, phone, stored SSN, latest invoice number, benefit types) from
// the database as its data source, and leaves every figure, date and
// formatted text to the report functions.
#ifndef QORVEL_TOOLS_STATEMENT_H_
#define QORVEL_TOOLS_STATEMENT_H_

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "qorvel/qorvel.h"

namespace qorvel::tool {

struct AgeingBucket {
  Integer start_days;
  Integer end_days;
  Currency balance;
};

struct StatementData {
  Long people_id = 0;
  Text printed_on;          // today in the date pattern
  Text name;                // FormatName, first-middle-last
  Text address;             // FormatAddress2, one line per part (CR LF)
  Text phone;               // FormatPhone in the house format
  Text ssn;                 // FormatSS of the stored form
  Text last_modified;       // LastModified of the Client table
  Text last_payment_date;   // LastPaymentDate
  Currency last_payment_amount;
  Currency credits;         // CreditAmount
  Currency retainer;        // CreditAmountRetainer
  Long latest_invoice = 0;  // from the data source; 0 when none
  Currency invoice_balance; // InvoiceBalance of the latest invoice
  Currency invoice_fee;     // InvoiceFee of the latest invoice
  Currency previous_balance_due;  // PrevBalDue before the latest invoice
  Text previous_invoice_entered;  // PrevInvDateEntered
  std::array<AgeingBucket, 4> ageing{};
  Text period_from;         // the twelve months, in the date pattern
  Text period_to;
  Currency payments;        // PymtsByDateRange
  Currency write_offs;      // WOffsByDateRange
  Currency fees;            // FeesByDateRange
  Long payment_count = 0;   // PymtCountByDateRange (entered in the period)
  std::vector<std::pair<Text, Text>> benefits;  // type, Yes/No
};

// The columns of the Client table that the client block reads, by name
// (FormatName, FormatAddress2, FormatPhone and FormatSS format them). A
// database may have any of them: a missing column reads as empty, and an
// empty field is left out of the statement.
inline constexpr const char16_t* kClientColumns[] = {
    u"FirstName", u"MiddleName", u"LastName", u"Address1", u"Address2", u"Address3",
    u"City",      u"State",      u"Zip",      u"Phone",    u"SSN"};

// The names of kClientColumns that the Client table of the database at
// `db_path` lacks, in that order. Raises AutomationError when the database
// cannot be opened.
std::vector<Text> MissingClientColumns(const std::string& db_path);

// Builds the statement of one client of the database at `db_path`, with
// `today` as the end of the twelve-month period. Raises AutomationError
// when the data source cannot be read or has no such client.
StatementData BuildStatement(KX& kx, const std::string& db_path, Long people_id, DateTime today);

// The people identifiers of every client, in order.
std::vector<Long> AllClients(const std::string& db_path);

// The statements as aligned text, or as one self-contained HTML page.
std::string RenderText(const std::vector<StatementData>& statements);
std::string RenderHtml(const std::vector<StatementData>& statements);

// qorvel statement [DB] [--client ID | --all] [--format text|html] [--output FILE] [--quiet]
int StatementCommand(const std::vector<std::string>& words);

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_STATEMENT_H_
