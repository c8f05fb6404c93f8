// RowSink: where a table source (source.h) puts the rows of one table, to
// be inserted into its copy (table_image.h).
#ifndef QORVEL_JET_ROW_SINK_H_
#define QORVEL_JET_ROW_SINK_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace qorvel::jet {

// Receives the rows of one table and inserts them into its copy. For each
// row, set every column (by its position in TableInfo::columns), then call
// EndRow; after the last, Flush. Rows are held and inserted several at a
// time (one statement's work costs SQLite as much as a row's), so a text or
// BLOB passed in is copied and may go as soon as the call returns.
class RowSink {
 public:
  // `insert_one` inserts one row of `columns` values, `insert_many` rows_at_once()
  // rows; both prepared on `db`.
  RowSink(sqlite3* db, sqlite3_stmt* insert_one, sqlite3_stmt* insert_many, std::size_t columns,
          std::u16string table);

  // How many rows the statement for many rows inserts, for a table of
  // `columns` columns.
  static std::size_t RowsAtOnce(std::size_t columns);

  void SetNull(int column);
  void SetInteger(int column, std::int64_t value);
  void SetReal(int column, double value);
  void SetText(int column, std::string_view utf8);
  void SetBlob(int column, std::span<const std::uint8_t> bytes);
  // Ends the row. Raises AutomationError when SQLite fails.
  void EndRow();
  // Inserts the rows still held. Raises as EndRow.
  void Flush();

  std::size_t rows() const { return rows_; }

 private:
  struct Value {
    enum class Kind : unsigned char { kNull, kInteger, kReal, kText, kBlob } kind = Kind::kNull;
    std::int64_t integer = 0;
    double real = 0;
    std::size_t at = 0;  // of a text or BLOB in bytes_
    std::size_t size = 0;
  };
  Value& At(int column) { return values_[held_ * columns_ + static_cast<std::size_t>(column)]; }
  // Binds `count` held rows to `insert` and runs it.
  void Insert(sqlite3_stmt* insert, std::size_t first, std::size_t count);

  sqlite3* db_;
  sqlite3_stmt* insert_one_;
  sqlite3_stmt* insert_many_;
  std::size_t columns_;
  std::size_t many_;
  std::u16string table_;
  std::vector<Value> values_;  // the held rows, one after another
  std::string bytes_;          // their texts and BLOBs
  std::size_t held_ = 0;
  std::size_t rows_ = 0;
};

}  // namespace qorvel::jet

#endif  // QORVEL_JET_ROW_SINK_H_
