// The mirror: an in-memory SQLite database that holds copies of the tables
// of one database file, loaded a table at a time.
//
// Each column keeps its Jet type in its declared SQLite type ("JetLong
// INTEGER", "JetCurrency INTEGER", "JetText TEXT", ...), stored as
// catalog.h describes; text columns compare with the JETTEXT collation. The
// same declared types mark an exported SQLite file, so that reopening it
// gives back the Jet types (sqlite_source.cc reads them).
#ifndef QORVEL_JET_MIRROR_H_
#define QORVEL_JET_MIRROR_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/catalog.h"
#include "jet/sqlite_handles.h"

namespace qorvel::jet {

// The declared SQLite type of a mirror column of the given Jet type.
const char* DeclaredType(JetType type);

// The Jet type that a declared type written by DeclaredType() stands for,
// or nothing for any other declared type. Letter case is ignored.
std::optional<JetType> JetTypeOfDeclared(std::string_view declared);

// Receives the rows of one table and inserts them into its mirror table.
// For each row, set every column (by its position in TableInfo::columns),
// then call EndRow. Text and bytes passed to SetText and SetBlob must stay
// valid until EndRow.
class RowSink {
 public:
  RowSink(sqlite3* db, sqlite3_stmt* insert, std::u16string table);

  void SetNull(int column);
  void SetInteger(int column, std::int64_t value);
  void SetReal(int column, double value);
  void SetText(int column, std::string_view utf8);
  void SetBlob(int column, std::span<const std::uint8_t> bytes);
  // Inserts the row. Raises AutomationError when SQLite fails.
  void EndRow();

  std::size_t rows() const { return rows_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* insert_;
  std::u16string table_;
  std::size_t rows_ = 0;
};

class Mirror {
 public:
  // Opens an empty in-memory database with the JETTEXT collation.
  // Raises AutomationError when SQLite cannot.
  Mirror();
  Mirror(const Mirror&) = delete;
  Mirror& operator=(const Mirror&) = delete;

  sqlite3* db() const { return db_.get(); }

  bool IsLoaded(const TableInfo& table) const;

  // Creates the mirror table and fills it through `fill`, which receives a
  // sink for the table's rows; all in one transaction. On failure nothing
  // of the table remains and the error propagates.
  template <typename Fill>
  void Load(const TableInfo& table, Fill&& fill) {
    RowSink sink = BeginLoad(table);
    try {
      fill(sink);
    } catch (...) {
      AbandonLoad(table);
      throw;
    }
    FinishLoad(table);
  }

  // Builds an index on the column and its statistics, unless the column is
  // a flag of a few values (once; later calls only answer). Returns whether
  // the column has an index.
  // Precondition: the table is loaded and has the column.
  bool EnsureIndex(const TableInfo& table, std::u16string_view column);

  // Bytes of memory the mirror's pages and schema take.
  std::size_t MemoryUsed() const;

  // Writes the given loaded tables into a new SQLite file at `path` (which
  // must not exist), under their own names, with the declared types above
  // and without the collation (so other tools can read the file). Raises
  // AutomationError (kErrEngineFailure) when SQLite cannot.
  void ExportTo(const std::filesystem::path& path, const std::vector<const TableInfo*>& tables);

  // Runs SQL that returns no rows; raises kErrEngineFailure on error.
  void Exec(const std::string& sql);

 private:
  RowSink BeginLoad(const TableInfo& table);
  void FinishLoad(const TableInfo& table);
  void AbandonLoad(const TableInfo& table);

  // A column whose first kFlagSample values hold at most kFlagValues
  // distinct ones is a flag and gets no index.
  static constexpr int kFlagSample = 4096;
  static constexpr int kFlagValues = 4;
  // Distinct non-Null values among the first kFlagSample of a column.
  int DistinctInSample(const std::string& table_sql, const std::string& column_sql);

  Connection db_;
  Statement insert_;  // the INSERT of the table being loaded
  std::set<std::string> loaded_;  // sqlite names
  // (sqlite name, folded column name) of the columns with an index, and of
  // those found to be flags.
  std::set<std::pair<std::string, std::u16string>> indexed_;
  std::set<std::pair<std::string, std::u16string>> flags_;
};

}  // namespace qorvel::jet

#endif  // QORVEL_JET_MIRROR_H_
