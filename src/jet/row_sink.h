// RowSink: where a table source (source.h) puts the rows of one table, to
// be written into its copy (table_image.h): through SQLite statements
// (StatementSink, here), or as database pages written directly
// (image_writer.h).
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

// Receives the rows of one table and writes them into its copy. For each
// row, set every column (by its position in TableInfo::columns), then call
// EndRow; after the last, Flush. Rows are held and written several at a
// time, so a text or BLOB passed in is copied and may go as soon as the
// call returns.
class RowSink {
 public:
  virtual ~RowSink() = default;
  RowSink(const RowSink&) = delete;
  RowSink& operator=(const RowSink&) = delete;

  void SetNull(int column);
  void SetInteger(int column, std::int64_t value);
  void SetReal(int column, double value);
  void SetText(int column, std::string_view utf8);
  void SetBlob(int column, std::span<const std::uint8_t> bytes);
  // Ends the row. Raises what writing raises (AutomationError when SQLite
  // fails).
  void EndRow();
  // Writes the rows still held. Raises as EndRow.
  void Flush();

  std::size_t rows() const { return rows_; }

 protected:
  struct Value {
    enum class Kind : unsigned char { kNull, kInteger, kReal, kText, kBlob } kind = Kind::kNull;
    std::int64_t integer = 0;
    double real = 0;
    std::size_t at = 0;  // of a text or BLOB in bytes_
    std::size_t size = 0;
  };

  // Holds up to `rows_at_once` rows of `columns` values.
  RowSink(std::size_t columns, std::size_t rows_at_once);

  // Writes the `count` held rows from the `first`: rows_at_once of them,
  // or (from Flush) fewer.
  virtual void Write(std::size_t first, std::size_t count) = 0;

  std::size_t columns() const { return columns_; }
  std::size_t rows_at_once() const { return many_; }
  const Value& value(std::size_t row, std::size_t column) const { return values_[row * columns_ + column]; }
  const char* bytes(const Value& v) const { return bytes_.data() + v.at; }

 private:
  Value& At(int column) { return values_[held_ * columns_ + static_cast<std::size_t>(column)]; }

  std::size_t columns_;
  std::size_t many_;
  std::vector<Value> values_;  // the held rows, one after another
  std::string bytes_;          // their texts and BLOBs
  std::size_t held_ = 0;
  std::size_t rows_ = 0;
};

// A sink that inserts the rows with SQLite statements.
class StatementSink : public RowSink {
 public:
  // `insert_one` inserts one row of `columns` values, `insert_many`
  // RowsAtOnce(columns) rows; both prepared on `db`.
  StatementSink(sqlite3* db, sqlite3_stmt* insert_one, sqlite3_stmt* insert_many, std::size_t columns,
                std::u16string table);

  // How many rows the statement for many rows inserts, for a table of
  // `columns` columns.
  static std::size_t RowsAtOnce(std::size_t columns);

 private:
  void Write(std::size_t first, std::size_t count) override;
  // Binds `count` held rows to `insert` and runs it.
  void Insert(sqlite3_stmt* insert, std::size_t first, std::size_t count);

  sqlite3* db_;
  sqlite3_stmt* insert_one_;
  sqlite3_stmt* insert_many_;
  std::u16string table_;
};

}  // namespace qorvel::jet

#endif  // QORVEL_JET_ROW_SINK_H_
