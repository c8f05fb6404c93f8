// The tokens of the SQL dialect and the lexer that reads them.
//
// One lexer serves both Shape() (on every lookup, so it is a single pass
// that allocates nothing but the literal values) and the parser. Keywords
// are not told apart here: they are names, which the parser compares
// case-insensitively. Literals are decoded as they are read and appended to
// a list in statement order; the parser refers to them by their index,
// which becomes the SQLite parameter number, so Shape() and Translate()
// agree on the parameters by construction.
//
// The text literal that is the first argument of DateDiff (the interval)
// is not a literal in that sense: it chooses the function, so it stays in
// the shape and never becomes a parameter (kInterval).
#ifndef QORVEL_JET_SQL_LEXER_H_
#define QORVEL_JET_SQL_LEXER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "qorvel/date_time.h"
#include "qorvel/variant.h"

namespace qorvel::jet::sql {

// Reads the text between # marks into a date (the user locale's order, ISO
// accepted too); raises on text that is not a date.
using DateReader = std::function<DateTime(std::u16string_view)>;

enum class TokenKind : std::uint8_t {
  kEnd,        // end of the statement
  kName,       // identifier or keyword: a letter or '_' then letters, digits, '_'
  kBracketed,  // [name]: any characters but '[' and ']'
  kText,       // 'text' with '' for a quote; a literal
  kNumber,     // [-]digits[.digits][e[+-]digits]; a literal
  kDate,       // #date#; a literal
  kInterval,   // the 'text' right after "DateDiff ("; kept in the shape
  kComma,
  kDot,
  kLeftParen,
  kRightParen,
  kStar,
  kEqual,
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::size_t begin = 0;  // offset of the first character in the statement
  std::size_t end = 0;    // offset one past the last character
  int literal = -1;       // kText, kNumber, kDate: index in the literal list
};

// True for the kinds that carry a literal value.
constexpr bool IsLiteral(TokenKind kind) {
  return kind == TokenKind::kText || kind == TokenKind::kNumber || kind == TokenKind::kDate;
}

class Lexer {
 public:
  // Reads `statement`, appending each literal's value to `literals`: a text
  // as Text, a whole number as Long (Double beyond the Long range), a
  // number with a fraction or an exponent as Double, a #date# as a Date.
  // `statement`, `read_date` and `literals` must outlive the lexer.
  Lexer(std::u16string_view statement, const DateReader& read_date, std::vector<Variant>* literals);

  // The next token; kEnd at the end and on every call after it. Raises
  // AutomationError (kErrSyntax) on a character that starts no token, an
  // unterminated literal or bracketed name, a number run into a name, or a
  // date literal that read_date cannot read.
  Token Next();

 private:
  Token ReadBracketed(std::size_t start);
  Token ReadText(std::size_t start);
  Token ReadNumber(std::size_t start);
  Token ReadDate(std::size_t start);
  Token Make(TokenKind kind, std::size_t begin, std::size_t end);

  std::u16string_view text_;
  const DateReader& read_date_;
  std::vector<Variant>* literals_;
  std::size_t pos_ = 0;
  // For the DateDiff interval: how far "DateDiff (" has been matched
  // (0 nothing, 1 the name, 2 the name and the parenthesis).
  int datediff_state_ = 0;
};

// The whole statement as tokens, the last one kEnd. Raises as Lexer::Next.
std::vector<Token> Tokenize(std::u16string_view statement, const DateReader& read_date,
                            std::vector<Variant>* literals);

// ASCII case-insensitive comparison of a name with a keyword spelt in
// lower case.
bool IsKeyword(std::u16string_view name, std::u16string_view lower_keyword);

}  // namespace qorvel::jet::sql

#endif  // QORVEL_JET_SQL_LEXER_H_
