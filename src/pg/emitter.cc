// Writing PostgreSQL SQL from a resolved statement.
#include "pg/emitter.h"

#include "base/text_ops.h"
#include "jet/errors.h"
#include "jet/sql/resolver.h"
#include "pg/server.h"

namespace qorvel::pg {
namespace {

using jet::JetType;
using jet::sql::CompareOp;
using jet::sql::Expr;
using jet::sql::ExprKind;
using jet::sql::Predicate;
using jet::sql::ValueClass;

// Case-folded text sorts by code point, as the engine's own text order.
constexpr char kCodePointOrder[] = " COLLATE \"C\"";

bool IsPlainText(JetType type) { return type == JetType::kText || type == JetType::kMemo; }

class Emitter {
 public:
  explicit Emitter(const std::vector<Variant>& literals) : literals_(literals) {}

  Emitted Run(const jet::sql::SelectStatement& statement) {
    Emitted out;
    std::string& sql = out.sql;
    sql = "SELECT ";
    std::vector<std::u16string> names = jet::sql::ResultNames(statement);
    for (std::size_t i = 0; i < statement.items.size(); ++i) {
      const jet::sql::SelectItem& item = statement.items[i];
      if (i > 0) sql += ", ";
      sql += Value(*item.expr);
      out.columns.push_back({std::move(names[i]), item.expr->type});
    }
    sql += " FROM ";
    for (std::size_t i = 0; i < statement.tables.size(); ++i) {
      if (i > 0) sql += " INNER JOIN ";
      sql += QuoteName(ToUtf8(statement.tables[i].info->name)) + " AS t" + std::to_string(i);
    }
    if (statement.join_on) sql += " ON " + Condition(*statement.join_on);
    for (std::size_t i = 0; i < statement.where.size(); ++i) {
      sql += i == 0 ? " WHERE " : " AND ";
      sql += Condition(statement.where[i]);
    }
    for (std::size_t i = 0; i < statement.order_by.size(); ++i) {
      const jet::sql::OrderItem& item = statement.order_by[i];
      sql += i == 0 ? " ORDER BY " : ", ";
      sql += Ordered(*item.column);
      sql += item.descending ? " DESC NULLS LAST" : " ASC NULLS FIRST";
    }
    out.now_parameter = now_parameter_;
    return out;
  }

 private:
  std::string Parameter(int number, const char* type) { return "CAST($" + std::to_string(number) + " AS " + type + ")"; }

  std::string Literal(const Expr& expr) {
    const Variant& value = literals_[static_cast<std::size_t>(expr.parameter - 1)];
    switch (value.type()) {
      case VarType::kText: return Parameter(expr.parameter, "text");
      case VarType::kLong: return Parameter(expr.parameter, "int8");
      case VarType::kDouble: return Parameter(expr.parameter, "float8");
      case VarType::kDate: return Parameter(expr.parameter, "timestamp");
      default:
        jet::Raise(jet::kErrEngineFailure, u"Cannot bind a literal of type " + FromUtf8(VarTypeName(value.type())) +
                                               u" to the statement.");
    }
  }

  // The value of an expression in the server's type for its Jet type.
  std::string Value(const Expr& expr) {
    switch (expr.kind) {
      case ExprKind::kColumn: {
        const std::string column = "t" + std::to_string(expr.source) + "." + QuoteName(ToUtf8(expr.column->name));
        return expr.type == JetType::kBoolean ? "(-CAST(" + column + " AS int4))" : column;
      }
      case ExprKind::kLiteral: return Literal(expr);
      case ExprKind::kDateValue: return "CAST(CAST(" + Value(*expr.args[0]) + " AS date) AS timestamp)";
      case ExprKind::kDateDiff:
        return "(CAST(" + Value(*expr.args[1]) + " AS date) - CAST(" + Value(*expr.args[0]) + " AS date))";
      case ExprKind::kNow:
        if (now_parameter_ == 0) now_parameter_ = static_cast<int>(literals_.size()) + 1;
        return Parameter(now_parameter_, "timestamp");
      case ExprKind::kMax: {
        const Expr& arg = *expr.args[0];
        const std::string value = Value(arg);
        if (IsPlainText(arg.type)) {
          // The greatest text as folded, as it is stored.
          return "(array_agg(" + value + " ORDER BY upper(" + value + ")" + kCodePointOrder + " DESC) FILTER (WHERE " +
                 value + " IS NOT NULL))[1]";
        }
        if (jet::sql::ClassOf(arg.type) == ValueClass::kText) return "max(" + TextForm(arg) + kCodePointOrder + ")";
        return "max(" + value + ")";
      }
      case ExprKind::kSum: {
        const Expr& arg = *expr.args[0];
        return arg.type == JetType::kSingle ? "sum(CAST(" + Value(arg) + " AS float8))" : "sum(" + Value(arg) + ")";
      }
      case ExprKind::kCount: return "count(*)";
    }
    return "NULL";
  }

  // A value of the text class as text: GUIDs in braces, bytes in hexadecimal.
  std::string TextForm(const Expr& expr) {
    if (expr.type == JetType::kGuid && expr.kind == ExprKind::kColumn) {
      return "('{' || upper(CAST(" + Value(expr) + " AS text)) || '}')";
    }
    if ((expr.type == JetType::kBinary || expr.type == JetType::kOle) && expr.kind == ExprKind::kColumn) {
      return "upper(encode(" + Value(expr) + ", 'hex'))";
    }
    return Value(expr);
  }

  // A date as its automation number, where it meets a number.
  std::string AutomationNumber(const Expr& expr) {
    const std::string value = Value(expr);
    const std::string day = "(CAST(" + value + " AS date) - DATE '1899-12-30')";
    const std::string time = "(EXTRACT(EPOCH FROM CAST(" + value + " AS time)) / 86400)";
    return "(CASE WHEN " + day + " >= 0 THEN " + day + " + " + time + " ELSE " + day + " - " + time + " END)";
  }

  // One side of a comparison of numbers and dates.
  std::string NumberSide(const Expr& expr, const Expr& other) {
    if (expr.type == JetType::kDateTime && other.type != JetType::kDateTime) return AutomationNumber(expr);
    if (other.type == JetType::kCurrency && expr.kind == ExprKind::kLiteral &&
        literals_[static_cast<std::size_t>(expr.parameter - 1)].type() == VarType::kDouble) {
      return "round(CAST(" + Value(expr) + " AS numeric), 4)";
    }
    return Value(expr);
  }

  std::string Condition(const Predicate& predicate) {
    const Expr& left = *predicate.left;
    if (predicate.is_not_null) return Value(left) + " IS NOT NULL";
    const Expr& right = *predicate.right;
    const char* op = OperatorSql(predicate.op);
    if (left.type == JetType::kGuid && right.type == JetType::kGuid) return Value(left) + op + Value(right);
    if (jet::sql::ClassOf(left.type) == ValueClass::kText) {
      const std::string a = "upper(" + TextForm(left) + ")";
      const std::string b = "upper(" + TextForm(right) + ")";
      return predicate.op == CompareOp::kEqual ? a + op + b : a + kCodePointOrder + op + b;
    }
    return NumberSide(left, right) + op + NumberSide(right, left);
  }

  std::string Ordered(const Expr& column) {
    if (IsPlainText(column.type)) return "upper(" + Value(column) + ")" + kCodePointOrder;
    return Value(column);
  }

  const std::vector<Variant>& literals_;
  int now_parameter_ = 0;
};

}  // namespace

Emitted Emit(const jet::sql::SelectStatement& statement, const std::vector<Variant>& literals) {
  return Emitter(literals).Run(statement);
}

}  // namespace qorvel::pg
