// Name resolution and type checking of a parsed statement.
#include "jet/sql/resolver.h"

#include <string>

#include "base/text_ops.h"
#include "jet/errors.h"
#include "jet/text.h"

namespace qorvel::jet::sql {
namespace {

Text Quoted(std::u16string_view name) {
  Text out = u"'";
  out += name;
  out += u"'";
  return out;
}

// The column as written, for descriptions: 'Name' or 'Table.Name'.
Text WrittenName(const Expr& column) {
  Text name = column.table;
  if (!name.empty()) name += u'.';
  name += column.name;
  return Quoted(name);
}

// An expression in words, for the descriptions of type errors.
Text Describe(const Expr& expr) {
  switch (expr.kind) {
    case ExprKind::kColumn:
      return u"the column " + WrittenName(expr) + u" (" + FromUtf8(JetTypeName(expr.type)) + u")";
    case ExprKind::kLiteral:
      return expr.literal == LiteralKind::kText     ? u"a text literal"
             : expr.literal == LiteralKind::kNumber ? u"a number"
                                                    : u"a date literal";
    case ExprKind::kDateValue: return u"DateValue(...)";
    case ExprKind::kDateDiff: return u"DateDiff(...)";
    case ExprKind::kNow: return u"Now()";
    case ExprKind::kMax: return u"Max(...)";
    case ExprKind::kSum: return u"Sum(...)";
    case ExprKind::kCount: return u"Count(*)";
  }
  return u"an expression";
}

bool IsNumberType(JetType type) { return ClassOf(type) == ValueClass::kNumber; }

const Expr* FindColumnIn(const Expr& expr) {
  if (expr.kind == ExprKind::kColumn) return &expr;
  for (const auto& arg : expr.args) {
    if (const Expr* found = FindColumnIn(*arg)) return found;
  }
  return nullptr;
}

class Resolver {
 public:
  Resolver(SelectStatement* statement, const Catalog& catalog)
      : statement_(*statement), catalog_(catalog) {}

  void Run() {
    for (TableRef& table : statement_.tables) {
      table.info = catalog_.FindTable(table.name);
      if (table.info == nullptr) {
        Raise(kErrNoSuchTable,
              u"The table " + Quoted(table.name) + u" does not exist in the database.");
      }
    }
    for (SelectItem& item : statement_.items) ResolveExpr(*item.expr);
    if (statement_.join_on) ResolveJoin(*statement_.join_on);
    for (Predicate& predicate : statement_.where) ResolvePredicate(predicate);
    for (OrderItem& item : statement_.order_by) ResolveExpr(*item.column);
    CheckAggregates();
  }

 private:
  // Whether a column reference may name a column of `table`: it names no
  // table, or this one (by its name in the statement or in the file).
  static bool MayName(const Expr& expr, const TableRef& table) {
    return expr.table.empty() || SameName(expr.table, table.name) || SameName(expr.table, table.info->name);
  }

  // Raises kErrUnsupportedType when the name is one of the columns that
  // the engine leaves out of the tables for their type.
  void RaiseIfUnsupported(const Expr& expr) const {
    for (const TableRef& table : statement_.tables) {
      if (!MayName(expr, table)) continue;
      for (const UnsupportedColumn& column : table.info->unsupported) {
        if (SameName(column.name, expr.name)) {
          Raise(kErrUnsupportedType, u"The column " + WrittenName(expr) + u" of table " +
                                         Quoted(table.info->name) + u" has a type the engine does not support (" +
                                         column.kind + u").");
        }
      }
    }
  }

  // Binds a column reference to its table and catalog entry.
  void ResolveColumn(Expr& expr) {
    const std::size_t tables = statement_.tables.size();
    const ColumnInfo* found = nullptr;
    int source = -1;
    int matches = 0;
    for (std::size_t i = 0; i < tables; ++i) {
      const TableRef& table = statement_.tables[i];
      if (!MayName(expr, table)) continue;
      for (const ColumnInfo& column : table.info->columns) {
        if (SameName(column.name, expr.name)) {
          found = &column;
          source = static_cast<int>(i);
          ++matches;
          break;
        }
      }
    }
    if (matches == 0) {
      RaiseIfUnsupported(expr);
      Raise(kErrNoSuchColumn, u"Unknown column name " + WrittenName(expr) + u".");
    }
    if (matches > 1) {
      // The database reports an ambiguous name as a failure of the engine.
      Raise(kErrEngineFailure, u"The column " + WrittenName(expr) +
                               u" could refer to more than one table of the From clause.");
    }
    expr.column = found;
    expr.source = source;
    expr.type = found->type;
  }

  void RequireDate(const Expr& arg, std::u16string_view function) {
    if (arg.type != JetType::kDateTime) {
      Raise(kErrTypeMismatch, u"Data type mismatch in criteria expression: " + Text(function) +
                              u" needs a date, not " + Describe(arg) + u".");
    }
  }

  void ResolveExpr(Expr& expr) {
    for (auto& arg : expr.args) ResolveExpr(*arg);
    switch (expr.kind) {
      case ExprKind::kColumn: ResolveColumn(expr); break;
      case ExprKind::kLiteral:
        expr.type = expr.literal == LiteralKind::kText     ? JetType::kText
                    : expr.literal == LiteralKind::kNumber ? JetType::kDouble
                                                           : JetType::kDateTime;
        break;
      case ExprKind::kDateValue:
        RequireDate(*expr.args[0], u"DateValue");
        expr.type = JetType::kDateTime;
        break;
      case ExprKind::kDateDiff:
        RequireDate(*expr.args[0], u"DateDiff");
        RequireDate(*expr.args[1], u"DateDiff");
        expr.type = JetType::kLong;
        break;
      case ExprKind::kNow: expr.type = JetType::kDateTime; break;
      case ExprKind::kMax: expr.type = expr.args[0]->type; break;
      case ExprKind::kSum: {
        const JetType type = expr.args[0]->type;
        if (!IsNumberType(type)) {
          Raise(kErrTypeMismatch, u"Data type mismatch: Sum of " + Describe(*expr.args[0]) +
                                  u", which is not a number.");
        }
        expr.type = type == JetType::kCurrency ? JetType::kCurrency : JetType::kDouble;
        break;
      }
      case ExprKind::kCount: expr.type = JetType::kLong; break;
    }
  }

  void CheckComparable(const Expr& left, const Expr& right, std::u16string_view where) {
    const bool left_text = ClassOf(left.type) == ValueClass::kText;
    const bool right_text = ClassOf(right.type) == ValueClass::kText;
    if (left_text != right_text) {
      Raise(kErrTypeMismatch, u"Data type mismatch in " + Text(where) + u": " + Describe(left) +
                              u" compared with " + Describe(right) + u".");
    }
  }

  void ResolvePredicate(Predicate& predicate) {
    ResolveExpr(*predicate.left);
    if (predicate.is_not_null) return;
    ResolveExpr(*predicate.right);
    CheckComparable(*predicate.left, *predicate.right, u"criteria expression");
  }

  void ResolveJoin(Predicate& on) {
    ResolveExpr(*on.left);
    ResolveExpr(*on.right);
    if (on.left->source == on.right->source) {
      Raise(kErrSyntax, u"Join expression not supported: " + WrittenName(*on.left) + u" = " +
                        WrittenName(*on.right) + u" must compare a column of each table.");
    }
    CheckComparable(*on.left, *on.right, u"the join expression");
  }

  // Without grouping, a select list with an aggregate yields one row, so
  // it can hold nothing that varies by row.
  void CheckAggregates() {
    bool aggregate = false;
    for (const SelectItem& item : statement_.items) aggregate |= IsAggregate(item.expr->kind);
    if (!aggregate) return;
    for (const SelectItem& item : statement_.items) {
      if (IsAggregate(item.expr->kind)) continue;
      if (const Expr* column = FindColumnIn(*item.expr)) {
        Raise(kErrSyntax, u"The column " + WrittenName(*column) +
                          u" stands beside an aggregate without being aggregated itself.");
      }
    }
    if (!statement_.order_by.empty()) {
      Raise(kErrSyntax, u"The column " + WrittenName(*statement_.order_by[0].column) +
                        u" of Order By cannot sort the single row of an aggregate.");
    }
  }

  SelectStatement& statement_;
  const Catalog& catalog_;
};

}  // namespace

std::vector<std::u16string> ResultNames(const SelectStatement& statement) {
  std::vector<std::u16string> names;
  int unnamed = 0;
  for (const SelectItem& item : statement.items) {
    if (item.alias) {
      names.push_back(*item.alias);
    } else if (item.expr->kind == ExprKind::kColumn) {
      names.push_back(item.expr->column->name);
    } else {
      names.push_back(u"Expr" + DecimalText(1000 + unnamed++));
    }
  }
  return names;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

ValueClass ClassOf(JetType type) {
  switch (type) {
    case JetType::kText:
    case JetType::kMemo:
    case JetType::kGuid:
    case JetType::kDateTimeExtended:
    case JetType::kBinary:
    case JetType::kOle: return ValueClass::kText;
    case JetType::kDateTime: return ValueClass::kDate;
    default: return ValueClass::kNumber;
  }
}

void Resolve(SelectStatement* statement, const Catalog& catalog) {
  Resolver(statement, catalog).Run();
}

}  // namespace qorvel::jet::sql
