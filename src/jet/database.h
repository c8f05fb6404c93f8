// Database: one open database file as the engine serves it.
//
// Opening recognises the file by its header (Jet 3, Jet 4, ACE through our
// own reader; SQLite directly, read-only) and checks the Jet database password,
// every time. The file's tables live in the process's one copy of that
// version of the file (loaded_file.h), shared with every other Database
// open on it: a table is copied the first time a statement anywhere in the
// process names it, and a column gets an index, if index_rule.h gives it
// one, the first time a statement tests it for equality or joins on it. A
// statement sees every change to the file completed at least 100 ms
// (DatabaseOptions::change_check_interval) before it starts: at most that
// often, a statement first checks whether the file changed since it was
// loaded, by the system's change notice or a different identity, size or
// modification time (system.h says when the notice suffices); when it did,
// the Database moves to the copy of the new version. Statements in between
// cost no system call and, on a network share, no round trip. The file is
// never written.
//
// Statements are translated by sql::Translate and kept prepared, one per
// statement shape (sql::Shape), so a statement seen before costs a
// tokenisation, the binding of its literals and the steps of SQLite.
//
// A Database is used by one thread at a time; any number of them, on any
// threads, may be open on one file.
#ifndef QORVEL_JET_DATABASE_H_
#define QORVEL_JET_DATABASE_H_

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/catalog.h"
#include "jet/file_format.h"
#include "jet/result_set.h"
#include "jet/sql/lexer.h"
#include "qorvel/date_time.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"

namespace qorvel::jet {

struct DatabaseOptions {
  // Reads the text between # marks of a date literal.
  sql::DateReader read_date;
  // The clock of Now().
  std::function<DateTime()> now;
  // Learn of changes to the file from the system's change notice where it
  // can tell (see FileWatch in system.h); false compares the file's
  // identity, size and modification time at every check instead.
  bool watch_file = true;
  // How often, at most, a statement checks the file for changes: a
  // statement sees every change completed at least this long before it
  // starts, and may read the previous version within it. Zero checks
  // before every statement.
  std::chrono::nanoseconds change_check_interval = std::chrono::milliseconds(100);
  // How long the file must have been left unwritten before it is loaded
  // (file_version.h); a load waits for that, at most a second.
  std::chrono::nanoseconds settle_time = std::chrono::milliseconds(50);
};

class Database final : public Catalog {
 public:
  // Opens the file at `path` with the database password `password` (a Jet
  // file with a password opens only with exactly that password; a file
  // without one opens with any; SQLite files have none). Raises
  // AutomationError with the numbers of errors.h: kErrFileNotFound,
  // kErrAccessDenied, kErrNotAFile, kErrNotADatabase, kErrTruncated,
  // kErrDamaged, kErrWrongPassword, kErrEngineFailure.
  // Precondition: options.read_date and options.now are callable.
  static std::unique_ptr<Database> Open(const std::filesystem::path& path, TextView password,
                                        DatabaseOptions options);
  ~Database() override;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs one statement of the dialect and returns its rows. Values come
  // back as Variants of the result columns' types: Byte, Integer, Long,
  // Single, Double as themselves, Currency as Currency, DateTime as Date,
  // Text, Memo and GUID as Text, Boolean as Boolean, Numeric as Decimal,
  // Binary and OLE as Text of two upper-case hexadecimal digits per byte,
  // DateTimeExtended as its ISO Text; Null as Null. Raises AutomationError: the statement errors of
  // errors.h, or (when the file changed and cannot be read again) the
  // errors of Open.
  ResultSet Execute(TextView statement);

  // The table by name, case-insensitively (Catalog).
  const TableInfo* FindTable(std::u16string_view name) const override;

  // The tables of the file, in the file's order.
  const std::vector<TableInfo>& tables() const;

  FileFormat format() const;

  // Every row of one table in the file's order, with the table's columns.
  // Raises as Execute; kErrNoSuchTable for an unknown name.
  ResultSet ReadTable(std::u16string_view name);

  // The same rows, `batch_rows` at a time: `batch` gets each batch (the
  // last may be shorter; an empty table gives none), so that a table of any
  // size is read in little memory. Raises as ReadTable, and what `batch`
  // raises. Precondition: batch_rows > 0.
  void ReadTable(std::u16string_view name, std::size_t batch_rows,
                 const std::function<void(const ResultSet&)>& batch);

  // Loads every table (after the change check), side by side.
  void LoadAllTables();

  // Bytes of memory the copies of the loaded tables take, with this
  // connection's own.
  std::size_t MirrorMemory() const;

  // The SQLite connection statements run on, with the tables they named
  // so far attached, for benchmarks and diagnostics that set the engine
  // beside SQLite itself. Valid until a statement reloads the file or the
  // Database goes; null while a reload has failed.
  sqlite3* mirror_handle() const;

  // Writes every table into a new SQLite file at `out` (replacing a file
  // of that name) that Open reads back with the same columns, types and
  // values. Raises AutomationError (kErrEngineFailure when the file cannot
  // be written).
  void ExportToSqlite(const std::filesystem::path& out);

 private:
  struct Impl;
  explicit Database(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace qorvel::jet

#endif  // QORVEL_JET_DATABASE_H_
