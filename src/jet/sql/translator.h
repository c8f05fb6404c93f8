// The SQL dialect of the lookups: parsing a statement into a typed tree and
// translating the tree into SQLite SQL over the mirror tables.
//
// The dialect is exactly what the lookups send: a Select list of columns,
// Max (x), Sum(x), Count(*), DateDiff('d', a, b) and As aliases; From one
// table, a [bracketed] table or an Inner Join ... On a = b; Where with =, <,
// <=, >, >=, And, Is Not Null; Order By ... Desc; text, number and #date#
// literals; DateValue(x), DateDiff('d', a, b), Now(). Anything else is a
// syntax error. Every error is an AutomationError with the number of the
// database error it stands for (errors.h) and a description that names the
// culprit.
#ifndef QORVEL_JET_SQL_TRANSLATOR_H_
#define QORVEL_JET_SQL_TRANSLATOR_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/catalog.h"
#include "jet/errors.h"
#include "jet/sql/lexer.h"
#include "qorvel/automation_error.h"
#include "qorvel/date_time.h"
#include "qorvel/variant.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qorvel::jet::sql {

// One result column: its name (alias or column name, or "Expr1000" style
// for unnamed expressions) and the Jet type its values come back as.
struct ResultColumn {
  std::u16string name;
  JetType type;
};

// A column the statement tests for equality or joins on: the statement asks
// for an index on it (index_rule.h decides whether it gets one). A join
// column carries the table on the other side of its join, which the rule
// looks at.
struct IndexHint {
  std::u16string table;   // as the catalog spells it
  std::u16string column;  // as the catalog spells it
  std::u16string joined_with;  // for a join column, the other table; else empty
};

// A statement ready to run on the mirror. Each result column's values come
// back from SQLite in the storage form of its type (catalog.h), or NULL.
struct Translation {
  std::string sqlite_sql;           // UTF-8; the literals appear as ?1, ?2, ...
  std::vector<Variant> parameters;  // the literals' values in order: the same
                                    // list that Shape() gives for the statement
  std::vector<ResultColumn> columns;
  std::vector<std::u16string> tables;  // tables the statement names (catalog spelling)
  std::vector<IndexHint> index_hints;
};

// A statement split into its shape (the tokens with every literal replaced
// by a placeholder) and its literals in their natural form: a text literal
// as Text, a whole number as Long (Double beyond the Long range), a number
// with a fraction or exponent as Double, a #date# literal as a Date. Two
// statements with the same shape translate to the same SQLite SQL, so the
// engine can keep one prepared statement per shape and bind the literals.
// The interval of DateDiff ('d') chooses the function rather than a value,
// so it stays in the shape and is not a literal. The shape is the tokens
// joined by single blanks, each literal written as ?t, ?n or ?d (text,
// number, date): statements that differ only in blanks share a shape; a
// difference in letter case gives another shape, never a wrong one.
struct ShapedStatement {
  std::u16string shape;
  std::vector<Variant> literals;
};

// Tokenises a statement. Raises AutomationError (kErrSyntax) on text that
// cannot be tokenised or a date literal that cannot be read.
ShapedStatement Shape(std::u16string_view statement, const DateReader& read_date);
// The same into `out`, whose buffers are reused (a connection shapes every
// statement it runs). `out` must not be null.
void Shape(std::u16string_view statement, const DateReader& read_date, ShapedStatement* out);

// Parses and translates one statement. Raises AutomationError.
Translation Translate(std::u16string_view statement, const Catalog& catalog,
                      const DateReader& read_date);

// Registers on `db` the SQLite functions the translated SQL calls
// (DateValue, DateDiff by day, Now) with `now` as the clock, and the
// JETNUMERIC collation (exact order of Numeric texts). The JETTEXT
// collation is the mirror's to register. `now` is called on the thread
// that runs the statement. Raises the AutomationError of ErrorFromSqlite
// when SQLite refuses.
void RegisterFunctions(sqlite3* db, std::function<DateTime()> now);

// Binds `parameters` (a Translation's, or the literals of Shape() for a
// statement of the same shape) as ?1, ?2, ... of `statement`, prepared from
// the Translation's sqlite_sql: Text as TEXT (UTF-8), Long as INTEGER,
// Double as REAL, Date as REAL (the automation date), Null as NULL.
// Raises AutomationError: kErrEngineFailure for another Variant type, that
// of ErrorFromSqlite when SQLite refuses.
void BindParameters(sqlite3_stmt* statement, const std::vector<Variant>& parameters);

// The AutomationError for a failed SQLite call on `db` (a connection where
// RegisterFunctions ran), given the call's result code: an error raised by
// one of the registered functions keeps its number and description; a Sum
// beyond the 64-bit range (SQLite's "integer overflow": for money, beyond
// the Currency range) is kErrEngineFailure "Overflow ..."; SQLite out of
// memory is run-time error 7; anything else is kErrEngineFailure with
// SQLite's message.
AutomationError ErrorFromSqlite(sqlite3* db, int result_code);

}  // namespace qorvel::jet::sql

#endif  // QORVEL_JET_SQL_TRANSLATOR_H_
