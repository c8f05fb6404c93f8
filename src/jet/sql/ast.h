// The typed tree of one statement of the dialect.
//
// The parser builds it from the tokens with the names as written; the
// resolver then binds every column reference to a table of the From clause
// and its catalog entry, and gives every expression its Jet type. The SQL
// generator reads the resolved tree.
#ifndef QORVEL_JET_SQL_AST_H_
#define QORVEL_JET_SQL_AST_H_

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/catalog.h"

namespace qorvel::jet::sql {

enum class ExprKind {
  kColumn,     // Name or Table.Name
  kLiteral,    // 'text', number, #date#
  kDateValue,  // DateValue(x)
  kDateDiff,   // DateDiff('d', a, b): args a and b
  kNow,        // Now()
  kMax,        // Max(x), aggregate
  kSum,        // Sum(x), aggregate
  kCount,      // Count(*), aggregate
};

enum class LiteralKind { kText, kNumber, kDate };

struct Expr {
  ExprKind kind = ExprKind::kColumn;
  std::size_t position = 0;  // offset of its first character in the statement

  // kColumn: the names as written; `table` is empty for an unqualified name.
  std::u16string table;
  std::u16string name;

  // kLiteral: what it is and its SQLite parameter number (1-based).
  LiteralKind literal = LiteralKind::kNumber;
  int parameter = 0;

  // Functions and aggregates: their arguments (none for Now and Count).
  std::vector<std::unique_ptr<Expr>> args;

  // Set by the resolver.
  int source = -1;                     // kColumn: 0 the From table, 1 the joined one
  const ColumnInfo* column = nullptr;  // kColumn: its catalog entry
  JetType type = JetType::kLong;       // the type of the value (a number literal: kDouble)
};

constexpr bool IsAggregate(ExprKind kind) {
  return kind == ExprKind::kMax || kind == ExprKind::kSum || kind == ExprKind::kCount;
}

struct SelectItem {
  std::unique_ptr<Expr> expr;
  std::optional<std::u16string> alias;  // the As name
};

struct TableRef {
  std::u16string name;  // as written
  std::size_t position = 0;
  const TableInfo* info = nullptr;  // set by the resolver
};

enum class CompareOp { kEqual, kLess, kLessEqual, kGreater, kGreaterEqual };

// The operator as SQL writes it, with a blank on each side; the same in
// every SQL the dialect is translated to.
constexpr const char* OperatorSql(CompareOp op) {
  switch (op) {
    case CompareOp::kEqual: return " = ";
    case CompareOp::kLess: return " < ";
    case CompareOp::kLessEqual: return " <= ";
    case CompareOp::kGreater: return " > ";
    case CompareOp::kGreaterEqual: return " >= ";
  }
  return " = ";
}

// One condition of the Where clause (or the On of a join): a comparison,
// or `left Is Not Null` when `is_not_null` is set (then `right` is empty).
struct Predicate {
  bool is_not_null = false;
  CompareOp op = CompareOp::kEqual;
  std::unique_ptr<Expr> left;
  std::unique_ptr<Expr> right;
};

struct OrderItem {
  std::unique_ptr<Expr> column;  // a kColumn
  bool descending = false;
};

// Select <items> From <from> [Inner Join <join> On <a = b>]
// [Where <p> And <p> ...] [Order By <column> [Desc], ...]
struct SelectStatement {
  std::vector<SelectItem> items;
  std::vector<TableRef> tables;  // the From table, then the joined table if any
  std::optional<Predicate> join_on;
  std::vector<Predicate> where;
  std::vector<OrderItem> order_by;
};

}  // namespace qorvel::jet::sql

#endif  // QORVEL_JET_SQL_AST_H_
