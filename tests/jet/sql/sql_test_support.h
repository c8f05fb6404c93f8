// Test support for the SQL dialect: a catalog held in memory, an in-memory
// SQLite database whose tables hold their rows in the storage forms of
// catalog.h, a month-first date reader, a runner that translates a
// statement, executes it and reads the rows back as Variants of the result
// types.
#ifndef QORVEL_TESTS_SQL_SQL_TEST_SUPPORT_H_
#define QORVEL_TESTS_SQL_SQL_TEST_SUPPORT_H_

#include <string>
#include <string_view>
#include <vector>

#include "jet/catalog.h"
#include "jet/sqlite_handles.h"
#include "jet/sql/translator.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"

namespace qorvel::sql_test {

using jet::JetType;

class FakeCatalog : public jet::Catalog {
 public:
  void Add(jet::TableInfo table) { tables_.push_back(std::move(table)); }
  const jet::TableInfo* FindTable(std::u16string_view name) const override;
  const std::vector<jet::TableInfo>& tables() const { return tables_; }

 private:
  std::vector<jet::TableInfo> tables_;
};

// The tables the lookups read, plus AllTypes (one column of every type and
// a group number Grp). Every mirror table has a SQLite name unlike its Jet
// name; Credit's holds a double quote.
FakeCatalog LookupCatalog();

// Reads a date literal as the lookups' connections do in the en-US locale:
// yyyy-mm-dd (with a time or not), else the locale's reading; raises
// AutomationError 13 for what neither reads.
DateTime ReadTestDate(std::u16string_view text);

// The automation date of the fields (they must be valid).
double Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

struct Result { std::vector<jet::sql::ResultColumn> columns; std::vector<std::vector<Variant>> rows; };

// An in-memory database with the catalog's tables (empty), the JETTEXT
// collation, and the dialect's functions with a clock the test sets.
class TestDatabase {
 public:
  explicit TestDatabase(FakeCatalog catalog);
  TestDatabase(const TestDatabase&) = delete;  // its functions hold `this`

  void set_now(DateTime now) { now_ = now; }

  // Runs SQLite SQL directly (to insert rows); fails the test on error.
  void Exec(const std::string& sql);
  // Inserts one row into the mirror of `table`; each value is SQL text
  // ("NULL", "12", "'text'").
  void Insert(std::string_view table, const std::vector<std::string>& values);

  // Translates and runs a statement of the dialect. Raises AutomationError
  // for an error of the dialect or of the run. Checks on the way that the
  // parameters are the literals of Shape() and that every value comes back
  // in the storage form of its column's type.
  Result Run(std::u16string_view statement);

 private:
  FakeCatalog catalog_;
  jet::Connection db_;
  DateTime now_;
};

}  // namespace qorvel::sql_test

#endif  // QORVEL_TESTS_SQL_SQL_TEST_SUPPORT_H_
