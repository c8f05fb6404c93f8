// Shape() and Translate(): the statement's shape for the engine's cache of
// prepared statements, and the SQLite SQL of a resolved tree.
//
// The SQL names the From table t0 and the joined table t1 and qualifies
// every column, so a column that has its table's name (Payment.Payment)
// never confuses SQLite. Values travel in the storage forms of catalog.h,
// and the SQL keeps them there:
//   - text comparisons, Max and Order By of text use the JETTEXT collation;
//   - money is compared in ten-thousandths: the other side is scaled by
//     10,000, a literal rounded to four decimals (ROUND(?N * 10000));
//   - Numeric (exact decimal text) is compared as a number (CAST AS REAL)
//     and ordered by Max through the JETNUMERIC collation, which compares
//     the decimal texts exactly;
//   - Sum of Currency is SQLite's integer SUM, exact, and an error beyond
//     the 64-bit range (the Currency range); every other Sum is REAL.
#include "jet/sql/translator.h"

#include <algorithm>
#include <new>
#include <string>

#include "base/text_ops.h"
#include "jet/errors.h"
#include "jet/sql/ast.h"
#include "jet/sql/functions.h"
#include "jet/sql/lexer.h"
#include "jet/sql/parser.h"
#include "jet/sql/resolver.h"
#include "jet/sqlite_handles.h"
#include "qorvel/automation_error.h"

namespace qorvel::jet::sql {
namespace {

std::string Collation(JetType type) {
  if (ClassOf(type) == ValueClass::kText) return std::string(" COLLATE ") + kTextCollation;
  if (type == JetType::kNumeric) return std::string(" COLLATE ") + kNumericCollation;
  return "";
}

std::string ValueSql(const Expr& expr) {
  switch (expr.kind) {
    case ExprKind::kColumn:
      return "t" + std::to_string(expr.source) + "." + QuoteIdentifier(ToUtf8(expr.column->name));
    case ExprKind::kLiteral: return "?" + std::to_string(expr.parameter);
    case ExprKind::kDateValue:
      return std::string(kDateValueFunction) + "(" + ValueSql(*expr.args[0]) + ")";
    case ExprKind::kDateDiff:
      return std::string(kDateDiffDayFunction) + "(" + ValueSql(*expr.args[0]) + ", " +
             ValueSql(*expr.args[1]) + ")";
    case ExprKind::kNow: return std::string(kNowFunction) + "()";
    case ExprKind::kMax:
      return "MAX(" + ValueSql(*expr.args[0]) + Collation(expr.args[0]->type) + ")";
    case ExprKind::kSum: {
      const Expr& arg = *expr.args[0];
      if (arg.type == JetType::kCurrency) return "SUM(" + ValueSql(arg) + ")";
      if (arg.type == JetType::kNumeric) return "SUM(CAST(" + ValueSql(arg) + " AS REAL))";
      return "CAST(SUM(" + ValueSql(arg) + ") AS REAL)";
    }
    case ExprKind::kCount: return "COUNT(*)";
  }
  return "NULL";
}

// One side of a comparison of numbers or dates; `money` when the other
// side (or this one) is Currency, so that both are in ten-thousandths.
std::string NumberSql(const Expr& expr, bool money) {
  std::string sql = ValueSql(expr);
  if (expr.type == JetType::kNumeric) sql = "CAST(" + sql + " AS REAL)";
  if (money && expr.type != JetType::kCurrency) {
    sql = expr.kind == ExprKind::kLiteral ? "ROUND(" + sql + " * 10000)" : "(" + sql + " * 10000)";
  }
  return sql;
}

std::string PredicateSql(const Predicate& predicate) {
  const Expr& left = *predicate.left;
  if (predicate.is_not_null) return ValueSql(left) + " IS NOT NULL";
  const Expr& right = *predicate.right;
  if (left.type == JetType::kGuid && right.type == JetType::kGuid) {
    // Both in the canonical upper-case form: an exact comparison, which the
    // columns' own indexes serve.
    return ValueSql(left) + OperatorSql(predicate.op) + ValueSql(right);
  }
  if (ClassOf(left.type) == ValueClass::kText) {
    return ValueSql(left) + Collation(JetType::kText) + OperatorSql(predicate.op) + ValueSql(right);
  }
  const bool money = left.type == JetType::kCurrency || right.type == JetType::kCurrency;
  return NumberSql(left, money) + OperatorSql(predicate.op) + NumberSql(right, money);
}

const std::u16string& TableOf(const Expr& expr, const SelectStatement& statement) {
  return statement.tables[static_cast<std::size_t>(expr.source)].info->name;
}

void AddHint(const Expr& expr, const SelectStatement& statement, Translation* out,
             const Expr* joined_to = nullptr) {
  if (expr.kind != ExprKind::kColumn) return;
  IndexHint hint{TableOf(expr, statement), expr.column->name,
                 joined_to != nullptr ? TableOf(*joined_to, statement) : std::u16string()};
  for (const IndexHint& existing : out->index_hints) {
    if (existing.table == hint.table && existing.column == hint.column) return;
  }
  out->index_hints.push_back(std::move(hint));
}

Translation Generate(const SelectStatement& statement) {
  Translation out;
  std::string& sql = out.sqlite_sql;
  sql = "SELECT ";
  std::vector<std::u16string> names = ResultNames(statement);
  for (std::size_t i = 0; i < statement.items.size(); ++i) {
    const SelectItem& item = statement.items[i];
    if (i > 0) sql += ", ";
    sql += ValueSql(*item.expr);
    out.columns.push_back({std::move(names[i]), item.expr->type});
  }
  sql += " FROM ";
  for (std::size_t i = 0; i < statement.tables.size(); ++i) {
    const TableInfo& table = *statement.tables[i].info;
    if (i > 0) sql += " INNER JOIN ";
    sql += QuoteIdentifier(table.sqlite_name) + " AS t" + std::to_string(i);
    bool listed = false;
    for (const std::u16string& name : out.tables) listed |= name == table.name;
    if (!listed) out.tables.push_back(table.name);
  }
  if (statement.join_on) {
    sql += " ON " + PredicateSql(*statement.join_on);
    AddHint(*statement.join_on->left, statement, &out, statement.join_on->right.get());
    AddHint(*statement.join_on->right, statement, &out, statement.join_on->left.get());
  }
  for (std::size_t i = 0; i < statement.where.size(); ++i) {
    const Predicate& predicate = statement.where[i];
    sql += i == 0 ? " WHERE " : " AND ";
    sql += PredicateSql(predicate);
    if (!predicate.is_not_null && predicate.op == CompareOp::kEqual) {
      AddHint(*predicate.left, statement, &out);
      AddHint(*predicate.right, statement, &out);
    }
  }
  for (std::size_t i = 0; i < statement.order_by.size(); ++i) {
    const OrderItem& item = statement.order_by[i];
    sql += i == 0 ? " ORDER BY " : ", ";
    sql += ValueSql(*item.column) + Collation(item.column->type);
    if (item.descending) sql += " DESC";
  }
  return out;
}

// Runs `body`, letting AutomationErrors through and turning anything else
// into one, so that nothing but an AutomationError leaves the translator.
template <typename Body>
auto Guarded(Body body) -> decltype(body()) {
  try {
    return body();
  } catch (const AutomationError&) {
    throw;
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory();
  } catch (const std::exception& e) {
    Raise(kErrEngineFailure, u"Internal error in the SQL translator: " + FromUtf8(e.what()));
  }
}

}  // namespace

void Shape(std::u16string_view statement, const DateReader& read_date, ShapedStatement* out) {
  Guarded([&] {
    out->literals.clear();
    // Written in place: a token and the blank before it take at most
    // three units for each unit of the statement (a one-digit number
    // becomes " ?n"), so the text never outgrows this.
    out->shape.resize(3 * statement.size());
    char16_t* const begin = out->shape.data();
    char16_t* at = begin;
    Lexer lexer(statement, read_date, &out->literals);
    for (;;) {
      const Token token = lexer.Next();
      if (token.kind == TokenKind::kEnd) break;
      if (at != begin) *at++ = u' ';
      switch (token.kind) {
        case TokenKind::kText: *at++ = u'?'; *at++ = u't'; break;
        case TokenKind::kNumber: *at++ = u'?'; *at++ = u'n'; break;
        case TokenKind::kDate: *at++ = u'?'; *at++ = u'd'; break;
        default: at = std::copy(statement.begin() + static_cast<std::ptrdiff_t>(token.begin),
                                statement.begin() + static_cast<std::ptrdiff_t>(token.end), at);
      }
    }
    out->shape.resize(static_cast<std::size_t>(at - begin));
  });
}

ShapedStatement Shape(std::u16string_view statement, const DateReader& read_date) {
  ShapedStatement out;
  Shape(statement, read_date, &out);
  return out;
}

Translation Translate(std::u16string_view statement, const Catalog& catalog,
                      const DateReader& read_date) {
  return Guarded([&] {
    std::vector<Variant> literals;
    const std::vector<Token> tokens = Tokenize(statement, read_date, &literals);
    SelectStatement tree = Parse(statement, tokens);
    Resolve(&tree, catalog);
    Translation out = Generate(tree);
    out.parameters = std::move(literals);
    return out;
  });
}

}  // namespace qorvel::jet::sql
