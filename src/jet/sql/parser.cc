// The recursive-descent parser of the dialect.
#include "jet/sql/parser.h"

#include "jet/sql/errors.h"

namespace qorvel::jet::sql {
namespace {

// Words that can never be a bare name: the keywords of the dialect and the
// SQL words a statement outside the dialect would use, so that such a
// statement fails as a syntax error rather than as an unknown column.
constexpr std::u16string_view kReserved[] = {
    u"select",   u"from",        u"where", u"and",     u"or",     u"not",    u"inner",  u"join",
    u"on",       u"order",       u"by",    u"desc",    u"asc",    u"as",     u"is",     u"null",
    u"distinct", u"distinctrow", u"top",   u"group",   u"having", u"union",  u"left",   u"right",
    u"outer",    u"full",        u"cross", u"between", u"like",   u"in",     u"exists", u"all",
    u"any",      u"some",        u"into",  u"insert",  u"update", u"delete", u"set",    u"values",
    u"create",   u"drop",        u"alter", u"table",   u"xor",    u"mod",
};

bool IsReserved(std::u16string_view name) {
  for (const std::u16string_view word : kReserved) {
    if (IsKeyword(name, word)) return true;
  }
  return false;
}

class Parser {
 public:
  Parser(std::u16string_view statement, const std::vector<Token>& tokens)
      : text_(statement), tokens_(tokens) {}

  SelectStatement ParseStatement() {
    SelectStatement statement;
    ExpectKeyword(u"select", u"a statement must begin with Select");
    do {
      statement.items.push_back(ParseItem());
    } while (Accept(TokenKind::kComma));
    ExpectKeyword(u"from", u"expected ',' or From after the select list");
    statement.tables.push_back(ParseTable());
    if (AcceptKeyword(u"inner")) {
      ExpectKeyword(u"join", u"expected Join after Inner");
      statement.tables.push_back(ParseTable());
      ExpectKeyword(u"on", u"expected On after the joined table");
      Predicate on;
      on.left = ParseColumn();
      Expect(TokenKind::kEqual, u"a join condition must be column = column");
      on.right = ParseColumn();
      statement.join_on = std::move(on);
    }
    if (AcceptKeyword(u"where")) {
      do {
        statement.where.push_back(ParseCondition());
      } while (AcceptKeyword(u"and"));
    }
    if (AcceptKeyword(u"order")) {
      ExpectKeyword(u"by", u"expected By after Order");
      do {
        OrderItem item;
        item.column = ParseColumn();
        item.descending = AcceptKeyword(u"desc");
        statement.order_by.push_back(std::move(item));
      } while (Accept(TokenKind::kComma));
    }
    if (Peek().kind != TokenKind::kEnd) {
      Error(statement.order_by.empty() ? u"expected And, Order By or the end of the statement"
                                       : u"expected ',' or the end of the statement");
    }
    return statement;
  }

 private:
  const Token& Peek(std::size_t ahead = 0) const {
    const std::size_t i = index_ + ahead;
    return i < tokens_.size() ? tokens_[i] : tokens_.back();
  }
  std::u16string_view TextOf(const Token& token) const {
    return text_.substr(token.begin, token.end - token.begin);
  }
  [[noreturn]] void Error(std::u16string_view what) const { FailSyntax(text_, Peek().begin, what); }
  bool Accept(TokenKind kind) {
    if (Peek().kind != kind) return false;
    ++index_;
    return true;
  }
  void Expect(TokenKind kind, std::u16string_view what) {
    if (!Accept(kind)) Error(what);
  }
  bool PeekKeyword(std::u16string_view keyword, std::size_t ahead = 0) const {
    const Token& token = Peek(ahead);
    return token.kind == TokenKind::kName && IsKeyword(TextOf(token), keyword);
  }
  bool AcceptKeyword(std::u16string_view keyword) {
    if (!PeekKeyword(keyword)) return false;
    ++index_;
    return true;
  }
  void ExpectKeyword(std::u16string_view keyword, std::u16string_view what) {
    if (!AcceptKeyword(keyword)) Error(what);
  }

  // A name: an identifier that is not reserved, or the inside of [...].
  std::u16string ParseName(std::u16string_view what) {
    const Token& token = Peek();
    if (token.kind == TokenKind::kBracketed) {
      ++index_;
      return std::u16string(text_.substr(token.begin + 1, token.end - token.begin - 2));
    }
    if (token.kind == TokenKind::kName && !IsReserved(TextOf(token))) {
      ++index_;
      return std::u16string(TextOf(token));
    }
    Error(what);
  }

  TableRef ParseTable() {
    TableRef table;
    table.position = Peek().begin;
    table.name = ParseName(u"expected a table name");
    return table;
  }

  std::unique_ptr<Expr> ParseColumn() {
    auto expr = std::make_unique<Expr>();
    expr->kind = ExprKind::kColumn;
    expr->position = Peek().begin;
    expr->name = ParseName(u"expected a column name");
    if (Accept(TokenKind::kDot)) {
      expr->table = std::move(expr->name);
      expr->name = ParseName(u"expected a column name after '.'");
    }
    return expr;
  }

  bool AtCall() const {
    return Peek().kind == TokenKind::kName && Peek(1).kind == TokenKind::kLeftParen;
  }

  // item := (Max (value) | Sum (value) | Count (*) | value) [As name]
  SelectItem ParseItem() {
    SelectItem item;
    if (AtCall() && (PeekKeyword(u"max") || PeekKeyword(u"sum") || PeekKeyword(u"count"))) {
      auto expr = std::make_unique<Expr>();
      expr->position = Peek().begin;
      expr->kind = PeekKeyword(u"max")   ? ExprKind::kMax
                   : PeekKeyword(u"sum") ? ExprKind::kSum
                                         : ExprKind::kCount;
      index_ += 2;  // the name and '('
      if (expr->kind == ExprKind::kCount) {
        Expect(TokenKind::kStar, u"Count takes only '*'");
      } else {
        expr->args.push_back(ParseValue(u"expected a column or function to aggregate"));
      }
      Expect(TokenKind::kRightParen, u"expected ')'");
      item.expr = std::move(expr);
    } else {
      item.expr = ParseValue(u"expected a column, an aggregate or a function");
    }
    if (AcceptKeyword(u"as")) item.alias = ParseName(u"expected a name after As");
    return item;
  }

  // value := column | DateValue (operand) | DateDiff ('d', operand, operand) | Now ()
  std::unique_ptr<Expr> ParseValue(std::u16string_view what) {
    if (!AtCall()) {
      const Token& token = Peek();
      if (token.kind != TokenKind::kName && token.kind != TokenKind::kBracketed) Error(what);
      return ParseColumn();
    }
    // Function calls nest through ParseOperand; bound the depth so that no
    // statement can exhaust the stack.
    if (++depth_ > kMaxDepth) Error(u"functions nested too deeply");
    struct Leave {
      int& depth;
      ~Leave() { --depth; }
    } leave{depth_};
    auto expr = std::make_unique<Expr>();
    expr->position = Peek().begin;
    if (PeekKeyword(u"datevalue")) {
      index_ += 2;
      expr->kind = ExprKind::kDateValue;
      expr->args.push_back(ParseOperand());
    } else if (PeekKeyword(u"datediff")) {
      index_ += 2;
      expr->kind = ExprKind::kDateDiff;
      const Token& interval = Peek();
      if (interval.kind != TokenKind::kInterval) Error(u"DateDiff needs the interval 'd' first");
      const std::u16string_view inside =
          text_.substr(interval.begin + 1, interval.end - interval.begin - 2);
      if (!IsKeyword(inside, u"d")) Error(u"DateDiff supports only the interval 'd' (days)");
      ++index_;
      Expect(TokenKind::kComma, u"expected ',' after the interval");
      expr->args.push_back(ParseOperand());
      Expect(TokenKind::kComma, u"DateDiff takes two dates");
      expr->args.push_back(ParseOperand());
    } else if (PeekKeyword(u"now")) {
      index_ += 2;
      expr->kind = ExprKind::kNow;
    } else if (PeekKeyword(u"max") || PeekKeyword(u"sum") || PeekKeyword(u"count")) {
      Error(u"an aggregate can only stand in the select list");
    } else {
      Error(u"unknown function");
    }
    Expect(TokenKind::kRightParen, u"expected ')'");
    return expr;
  }

  // operand := value | literal
  std::unique_ptr<Expr> ParseOperand() {
    const Token& token = Peek();
    if (!IsLiteral(token.kind)) return ParseValue(u"expected a column, a function or a literal");
    auto expr = std::make_unique<Expr>();
    expr->kind = ExprKind::kLiteral;
    expr->position = token.begin;
    expr->parameter = token.literal + 1;
    expr->literal = token.kind == TokenKind::kText     ? LiteralKind::kText
                    : token.kind == TokenKind::kNumber ? LiteralKind::kNumber
                                                       : LiteralKind::kDate;
    ++index_;
    return expr;
  }

  Predicate ParseCondition() {
    Predicate predicate;
    predicate.left = ParseOperand();
    if (AcceptKeyword(u"is")) {
      ExpectKeyword(u"not", u"only Is Not Null is supported");
      ExpectKeyword(u"null", u"expected Null after Is Not");
      predicate.is_not_null = true;
      return predicate;
    }
    switch (Peek().kind) {
      case TokenKind::kEqual: predicate.op = CompareOp::kEqual; break;
      case TokenKind::kLess: predicate.op = CompareOp::kLess; break;
      case TokenKind::kLessEqual: predicate.op = CompareOp::kLessEqual; break;
      case TokenKind::kGreater: predicate.op = CompareOp::kGreater; break;
      case TokenKind::kGreaterEqual: predicate.op = CompareOp::kGreaterEqual; break;
      default: Error(u"expected a comparison (=, <, <=, >, >=) or Is Not Null");
    }
    ++index_;
    predicate.right = ParseOperand();
    return predicate;
  }

  static constexpr int kMaxDepth = 32;

  std::u16string_view text_;
  const std::vector<Token>& tokens_;
  std::size_t index_ = 0;
  int depth_ = 0;
};

}  // namespace

SelectStatement Parse(std::u16string_view statement, const std::vector<Token>& tokens) {
  return Parser(statement, tokens).ParseStatement();
}

}  // namespace qorvel::jet::sql
