// Moving a database to a PostgreSQL server: every table of a database the
// engine reads (Jet, ACE or SQLite file) copied into the server database
// that a URI names, in one transaction, so that a failed or stopped export
// leaves nothing behind.
//
// Tables and columns get lower-case names (ASCII letters lowered) and these
// types:
//   Byte, Integer      smallint           Currency    numeric(19,4)
//   Long               integer            Decimal     numeric(p,s): s the
//   Single             real                           largest scale of its
//   Double             double precision               values, p at least 28
//   Date/Time          timestamp (without time zone, to the microsecond)
//   Text               varchar(255)       Memo        text
//   Yes/No             boolean            GUID        uuid
//   Binary, OLE        bytea              extended date/time  varchar(27)
// Rows go in by COPY. The engine knows no declared keys or indexes of a
// file, so the indexes are those the lookups want: a column that a lookup's
// statement tests for equality or joins on (the index hints of the
// dialect's translator) gets one, upper(column) for text, unless it is a
// flag (at most four distinct values among its first 4096 rows), as the
// file engine's copies decide. The tables are analysed after the commit.
//
// A target that already has a table of one of the names is refused unless
// `replace` is set, which drops those tables (and what depends on them)
// first, inside the same transaction.
#ifndef QORVEL_PG_EXPORT_H_
#define QORVEL_PG_EXPORT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"
#include "qorvel/types.h"

namespace qorvel::pg {

struct ExportOptions {
  // Drop the target's tables of the same names instead of refusing.
  bool replace = false;
  // Statements of the dialect whose equality tests and joins choose the
  // indexes; empty: the sixteen lookups' statements (LookupStatements).
  std::vector<Text> index_statements = {};
};

// Where an export stands: after each table's rows are copied.
struct ExportProgress {
  std::u16string table;  // the server's name of the table just copied
  std::size_t done = 0;  // tables copied so far
  std::size_t total = 0;
  std::uint64_t rows = 0;  // rows of that table
};

// Called after each table; returning false stops the export, which then
// raises and leaves the target as it was.
using ExportProgressFn = std::function<bool(const ExportProgress&)>;

struct ExportSummary {
  std::size_t tables = 0;
  std::uint64_t rows = 0;
  std::size_t columns = 0;  // of all tables together
  std::size_t indexes = 0;
};

// Copies every table of `source` into the database `uri` (UTF-8) names.
// Raises AutomationError: kErrEngineFailure when the target has one of the
// tables (without `replace`), when the export is stopped, or with the
// server's message when it refuses (passwords removed); the errors of
// reading `source`. Either every table is copied or the target keeps what
// it had.
ExportSummary ExportDatabase(jet::Database& source, std::string_view uri, const ExportOptions& options,
                             const ExportProgressFn& progress = {});

// Statements of the forms the sixteen lookups send, with placeholder
// literals, that together test every column the lookups test; the form
// that names its table by argument once for each table of `tables`.
std::vector<Text> LookupStatements(const std::vector<jet::TableInfo>& tables);

}  // namespace qorvel::pg

#endif  // QORVEL_PG_EXPORT_H_
