// RowSink: the rows of a table held, then written into its copy several at
// a time; StatementSink: written with SQLite statements.
#include "jet/row_sink.h"

#include <sqlite3.h>

#include <algorithm>
#include <utility>

#include "jet/sqlite_connection.h"

namespace qorvel::jet {

RowSink::RowSink(std::size_t columns, std::size_t rows_at_once)
    : columns_(columns), many_(rows_at_once), values_(rows_at_once * columns) {}

void RowSink::SetNull(int column) { At(column).kind = Value::Kind::kNull; }

void RowSink::SetInteger(int column, std::int64_t value) {
  Value& v = At(column);
  v.kind = Value::Kind::kInteger;
  v.integer = value;
}

void RowSink::SetReal(int column, double value) {
  Value& v = At(column);
  v.kind = Value::Kind::kReal;
  v.real = value;
}

void RowSink::SetText(int column, std::string_view utf8) {
  Value& v = At(column);
  v.kind = Value::Kind::kText;
  v.at = bytes_.size();
  v.size = utf8.size();
  bytes_.append(utf8);
}

void RowSink::SetBlob(int column, std::span<const std::uint8_t> bytes) {
  Value& v = At(column);
  v.kind = Value::Kind::kBlob;
  v.at = bytes_.size();
  v.size = bytes.size();
  bytes_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void RowSink::EndRow() {
  ++rows_;
  if (++held_ == many_) {
    Write(0, many_);
    held_ = 0;
    bytes_.clear();
  }
}

void RowSink::Flush() {
  if (held_ > 0) Write(0, held_);
  held_ = 0;
  bytes_.clear();
}

StatementSink::StatementSink(sqlite3* db, sqlite3_stmt* insert_one, sqlite3_stmt* insert_many,
                             std::size_t columns, std::u16string table)
    : RowSink(columns, RowsAtOnce(columns)), db_(db), insert_one_(insert_one), insert_many_(insert_many),
      table_(std::move(table)) {}

std::size_t StatementSink::RowsAtOnce(std::size_t columns) {
  // SQLite builds may allow as few as 999 parameters in a statement.
  return std::clamp<std::size_t>(999 / std::max<std::size_t>(columns, 1), 1, 32);
}

void StatementSink::Write(std::size_t first, std::size_t count) {
  if (count == rows_at_once()) {
    Insert(insert_many_, first, count);
    return;
  }
  for (std::size_t row = first; row < first + count; ++row) Insert(insert_one_, row, 1);
}

void StatementSink::Insert(sqlite3_stmt* insert, std::size_t first, std::size_t count) {
  int at = 1;
  for (std::size_t row = first; row < first + count; ++row) {
    for (std::size_t c = 0; c < columns(); ++c, ++at) {
      const Value& v = value(row, c);
      switch (v.kind) {
        case Value::Kind::kNull: sqlite3_bind_null(insert, at); break;
        case Value::Kind::kInteger: sqlite3_bind_int64(insert, at, v.integer); break;
        case Value::Kind::kReal: sqlite3_bind_double(insert, at, v.real); break;
        case Value::Kind::kText:
          sqlite3_bind_text64(insert, at, bytes(v), v.size, SQLITE_STATIC, SQLITE_UTF8);
          break;
        case Value::Kind::kBlob:
          // SQLite binds a null pointer as Null: an empty value is a zero-length BLOB.
          if (v.size == 0) {
            sqlite3_bind_zeroblob(insert, at, 0);
          } else {
            sqlite3_bind_blob64(insert, at, bytes(v), v.size, SQLITE_STATIC);
          }
          break;
      }
    }
  }
  const int rc = sqlite3_step(insert);
  sqlite3_reset(insert);
  if (rc != SQLITE_DONE) RaiseSqlite(db_, u"Cannot copy the rows of table '" + table_ + u"'");
}

}  // namespace qorvel::jet
