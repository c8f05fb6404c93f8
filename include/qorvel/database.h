// Database: QORVEL's database engine for any host, the engine that answers
// the lookups. A Database is opened as a lookup opens its connection (the
// same provider, connection string and database password, so the same
// sources open and the same errors come back); it runs statements of the
// lookups' SQL dialect and returns their rows with typed columns, lists the
// tables with their columns (and the columns the engine cannot read), and
// writes every table into a SQLite file or a PostgreSQL database.
//
// No method throws: each returns its value or the AutomationError that
// prevented it, with the numbers and descriptions the lookups meet. A
// Database is used by one thread at a time; any number of them, on any
// threads, may be open on one source.
#ifndef QORVEL_DATABASE_H_
#define QORVEL_DATABASE_H_

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "qorvel/automation_error.h"
#include "qorvel/export.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"

namespace qorvel {

// The type of a column as the engine keeps it.
enum class ColumnType {
  kByte,
  kInteger,
  kLong,
  kSingle,
  kDouble,
  kCurrency,
  kDateTime,
  kText,
  kMemo,
  kBoolean,
  kGuid,
  kNumeric,
  kBinary,
  kOle,
  kDateTimeExtended,  // a date and time to seven fractional digits, kept as text
};

// "Byte", "Integer", "Long", "Single", "Double", "Currency", "DateTime",
// "Text", "Memo", "Boolean", "GUID", "Numeric", "Binary", "OLE",
// "DateTimeExtended"; "Unknown" for a value outside the enumeration.
QORVEL_API const char* ColumnTypeName(ColumnType type);

struct Column {
  Text name;  // as the database spells it (a result column: its alias)
  ColumnType type;
};

// A column whose values the engine cannot read, and what it is
// ("attachment, multi-value or version history", "unknown type 70").
struct UnsupportedColumn {
  Text name;
  Text kind;
};

struct Table {
  Text name;
  std::vector<Column> columns;                 // in the database's order
  std::vector<UnsupportedColumn> unsupported;  // left out of `columns`
};

// The rows of a statement's result, read to the end.
struct Rows {
  std::vector<Column> columns;
  std::vector<Variant> values;  // row by row, columns.size() values per row

  std::size_t row_count() const { return columns.empty() ? 0 : values.size() / columns.size(); }
  // Precondition: row < row_count(), column < columns.size().
  const Variant& at(std::size_t row, std::size_t column) const { return values[row * columns.size() + column]; }
};

// What Database::ExportToSqlite or Database::ExportToPostgres wrote.
struct ExportSummary {
  std::vector<Table> tables;        // every table, with the columns left out of each
  std::optional<std::size_t> rows;  // the rows written; none when the file cannot be read back
};

// Whether `source` names a PostgreSQL database (a postgresql:// or
// postgres:// URI) rather than a file.
QORVEL_API bool IsServerSource(TextView source);

// `source` as it may be shown: a URI without its passwords, a file path
// unchanged.
QORVEL_API Text ShownSource(TextView source);

// A value, or the error that prevented it. Made from either, implicitly, so
// that a function returns its value or its error as it is.
template <class T>
class Result {
 public:
  Result(T value) : outcome_(std::move(value)) {}
  Result(AutomationError error) : outcome_(std::move(error)) {}

  bool ok() const { return outcome_.index() == 0; }
  // Precondition: ok().
  T& value() { return *std::get_if<0>(&outcome_); }
  const T& value() const { return *std::get_if<0>(&outcome_); }
  // Precondition: !ok().
  const AutomationError& error() const { return *std::get_if<1>(&outcome_); }

 private:
  std::variant<T, AutomationError> outcome_;
};

class QORVEL_API Database {
 public:
  // Opens the database that `source` names, as a lookup given `source` as
  // its TargetDB opens its connection: a .mdb or .accdb file (checked
  // against the component's database password) or a SQLite file, read-only;
  // or a PostgreSQL database named by a postgresql:// or postgres:// URI,
  // with the credentials libpq finds for it (the URI, the password file, the
  // environment). The error is the one that connection raises: the
  // provider's and the connection string's, the engine's for the file (not
  // found, not a database, damaged, wrong password), the server's for a URI
  // (its password left out), or that of a build without the PostgreSQL back
  // end (Windows).
  static Result<Database> Open(TextView source);

  Database(Database&& other) noexcept;
  Database& operator=(Database&& other) noexcept;
  ~Database();

  // Runs one statement of the lookups' dialect. Values come back as the
  // lookups receive them (Currency exact, dates as Date, Numeric as
  // Decimal, Null as Null); Binary and OLE values as Text of two upper-case
  // hexadecimal digits a byte, extended dates and times as their text. A
  // statement outside the dialect, or naming a table or column the source
  // lacks or a column the engine cannot read, fails with the engine's error.
  // Precondition: the Database was not moved from (every method's).
  Result<Rows> Execute(TextView statement);

  // The tables of the source, in its order (a server's in name order, as
  // its catalog was last read); the table named `name`
  // (compared as statements compare names: without regard to case), or
  // none. Never throw except on allocation failure.
  std::vector<Table> Tables() const;
  std::optional<Table> FindTable(TextView name) const;

  // Called after each table read before an export: `done` of `total`.
  using Progress = std::function<void(std::size_t done, std::size_t total)>;

  // Writes every table, with its columns and their types, into a new SQLite
  // file at `out` (replacing a file there), which Open reads back with the
  // same columns, types and values; the columns the engine cannot read are
  // left out. With a `progress`, the tables are read one after another
  // first, each reported when read. Fails with the engine's error when the
  // source cannot be read or `out` written (a folder, the source itself).
  // A server database is not exported: that fails with the engine's error.
  Result<ExportSummary> ExportToSqlite(const std::filesystem::path& out, const Progress& progress = {});

  // Copies every table of a database file, with its columns and their types,
  // into the PostgreSQL database that `uri` names (export.h of the back end
  // lists the types; names become lower case), with an index on each column
  // the lookups test, in one transaction: either every table is copied or
  // the target keeps what it had. A target that already has a table of one
  // of the names is refused unless `replace`, which drops those tables first.
  // The columns the engine cannot read are left out. `progress` is called
  // after each table copied. Fails with the engine's error when the source
  // cannot be read or is itself a server database, the server's message
  // (passwords left out) when the target refuses, and a clear error in a
  // build without the PostgreSQL back end (Windows).
  Result<ExportSummary> ExportToPostgres(TextView uri, bool replace = false, const Progress& progress = {});

 private:
  struct Impl;
  explicit Database(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace qorvel

#endif  // QORVEL_DATABASE_H_
