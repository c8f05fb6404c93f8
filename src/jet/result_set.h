// The rows of a statement's result as the engine returns them, and the
// reading of a prepared statement's rows into them.
#ifndef QORVEL_JET_RESULT_SET_H_
#define QORVEL_JET_RESULT_SET_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "jet/sql/translator.h"
#include "qorvel/variant.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qorvel::jet {

// The columns of a result; the results of one prepared statement share
// one list, so that a statement costs no copy of it.
class ResultColumns {
 public:
  ResultColumns() = default;
  explicit ResultColumns(std::vector<sql::ResultColumn> columns)
      : columns_(std::make_shared<const std::vector<sql::ResultColumn>>(std::move(columns))) {}

  std::size_t size() const { return columns_ != nullptr ? columns_->size() : 0; }
  bool empty() const { return size() == 0; }
  // Precondition: i < size().
  const sql::ResultColumn& operator[](std::size_t i) const { return (*columns_)[i]; }

 private:
  std::shared_ptr<const std::vector<sql::ResultColumn>> columns_;
};

// The rows of a statement's result, read to the end.
struct ResultSet {
  ResultColumns columns;
  std::vector<Variant> values;  // row by row, columns.size() values per row

  std::size_t row_count() const { return columns.empty() ? 0 : values.size() / columns.size(); }
  // Precondition: row < row_count(), column < columns.size().
  const Variant& at(std::size_t row, std::size_t column) const {
    return values[row * columns.size() + column];
  }
};

// Steps `stmt` (prepared on `db`, with result.columns its result columns)
// to the end, appending its rows to `result`: each value as the Variant of
// its column's Jet type (Database::Execute lists them). Room is made at
// once for `expected_rows` (up to a few dozen; a result beyond grows as it
// comes). Resets `stmt`, on failure too. Raises AutomationError: the error
// SQLite's failure stands for (sql::ErrorFromSqlite), or overflow when a
// value is beyond the range of its column's type.
void CollectRows(sqlite3* db, sqlite3_stmt* stmt, ResultSet& result, std::size_t expected_rows = 1);

// Steps `stmt` as CollectRows does, but hands `batch` the rows each time
// `result` holds `batch_rows` of them and empties it again; the rows after
// the last full batch stay in `result`. Raises as CollectRows, and what
// `batch` raises. Precondition: batch_rows > 0.
void CollectRowsInBatches(sqlite3* db, sqlite3_stmt* stmt, ResultSet& result, std::size_t batch_rows,
                          const std::function<void(const ResultSet&)>& batch);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_RESULT_SET_H_
