// Name resolution and type checking of a parsed statement against the
// catalog.
//
// Table and column names match case-insensitively. A qualified name
// Table.Column looks only in that table; an unqualified name looks in every
// table of the From clause and must be found in exactly one. Every
// expression gets its Jet type:
//   column               the column's type
//   'text' / number / #date#   Text / Double / DateTime
//   DateValue(x)         DateTime      (x a date)
//   DateDiff('d', a, b)  Long          (a and b dates)
//   Now()                DateTime
//   Max(x)               the type of x
//   Sum(x)               Currency for Currency; Double for every other
//                        number type (Byte, Integer, Long, Boolean, Single,
//                        Double, Numeric): integer sums stay exact within
//                        2^53 and cannot overflow a 32-bit Long
//   Count(*)             Long
// Comparisons need both sides of one kind: text with text (Text, Memo,
// GUID), or numbers and dates with each other (a date is its automation
// number). Anything else is a data type mismatch, decided on the kinds
// alone so that every statement of one shape gets the same answer.
#ifndef QORVEL_JET_SQL_RESOLVER_H_
#define QORVEL_JET_SQL_RESOLVER_H_

#include <string>
#include <string_view>
#include <vector>

#include "jet/catalog.h"
#include "jet/sql/ast.h"

namespace qorvel::jet::sql {

// Resolves `statement` (from Parse) in place. Raises AutomationError:
// kErrNoSuchTable, kErrNoSuchColumn or kErrTypeMismatch naming the table,
// column or expression at fault, kErrEngineFailure for an unqualified
// column name that both tables of a join have; kErrSyntax for a join
// condition that does not compare a column of each table and for a select
// list that mixes aggregates with columns (there is no grouping).
void Resolve(SelectStatement* statement, const Catalog& catalog);

// Case-insensitive equality of two names, with the fold the engine uses
// for table names and text (jet/text.h).
bool SameName(std::u16string_view a, std::u16string_view b);

// The names of a resolved statement's result columns, one per item of its
// select list: the item's alias, else its column's name, else Expr1000,
// Expr1001, ... in the order of the unnamed items. Every engine's
// statement gives its columns these names.
std::vector<std::u16string> ResultNames(const SelectStatement& statement);

// The kinds of value that can be compared with each other.
enum class ValueClass { kNumber, kDate, kText };
ValueClass ClassOf(JetType type);

}  // namespace qorvel::jet::sql

#endif  // QORVEL_JET_SQL_RESOLVER_H_
