// The lexer of the SQL dialect.
#include "jet/sql/lexer.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

#include "base/text_ops.h"
#include "jet/errors.h"
#include "jet/sql/errors.h"
#include "qorvel/automation_error.h"

namespace qorvel::jet::sql {
namespace {

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
// The blanks beyond ASCII; they are not part of the dialect.
bool IsOtherSpace(char16_t c) {
  return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}
// What each ASCII character may be in a name: 1 its start, 2 a later
// part (digits), 0 neither.
constexpr std::array<std::uint8_t, 128> kAsciiName = [] {
  std::array<std::uint8_t, 128> table{};
  for (int c = 'a'; c <= 'z'; ++c) table[static_cast<std::size_t>(c)] = 1;
  for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<std::size_t>(c)] = 1;
  table['_'] = 1;
  for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c)] = 2;
  return table;
}();

// Names may hold any other character beyond ASCII, so that table and
// column names in other scripts need no brackets. (Every lookup runs
// through here: ASCII is decided by the table, without a call.)
inline bool IsNameStart(char16_t c) { return c < 0x80 ? kAsciiName[c] == 1 : !IsOtherSpace(c); }
inline bool IsNamePart(char16_t c) { return c < 0x80 ? kAsciiName[c] != 0 : !IsOtherSpace(c); }

}  // namespace

bool IsKeyword(std::u16string_view name, std::u16string_view lower_keyword) {
  return EqualsIgnoringAsciiCase(name, lower_keyword);
}

Lexer::Lexer(std::u16string_view statement, const DateReader& read_date,
             std::vector<Variant>* literals)
    : text_(statement), read_date_(read_date), literals_(literals) {}

Token Lexer::Make(TokenKind kind, std::size_t begin, std::size_t end) {
  pos_ = end;
  Token token;
  token.kind = kind;
  token.begin = begin;
  token.end = end;
  // Follow "DateDiff (" so that the text literal after it is the interval.
  if (kind == TokenKind::kName) {
    // Most names are not eight units long: their length decides, without a call.
    constexpr std::u16string_view kDateDiff = u"datediff";
    datediff_state_ = end - begin == kDateDiff.size() && IsKeyword(text_.substr(begin, end - begin), kDateDiff) ? 1 : 0;
  } else if (kind == TokenKind::kLeftParen && datediff_state_ == 1) {
    datediff_state_ = 2;
  } else {
    datediff_state_ = 0;
  }
  return token;
}

Token Lexer::Next() {
  while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
  const std::size_t start = pos_;
  if (start >= text_.size()) return Make(TokenKind::kEnd, start, start);
  const char16_t c = text_[start];
  if (IsNameStart(c)) {
    std::size_t end = start + 1;
    while (end < text_.size() && IsNamePart(text_[end])) ++end;
    return Make(TokenKind::kName, start, end);
  }
  if (IsDigit(c) || (c == u'-' && start + 1 < text_.size() && IsDigit(text_[start + 1]))) {
    return ReadNumber(start);
  }
  switch (c) {
    case u'[': return ReadBracketed(start);
    case u'\'': return ReadText(start);
    case u'#': return ReadDate(start);
    case u',': return Make(TokenKind::kComma, start, start + 1);
    case u'.': return Make(TokenKind::kDot, start, start + 1);
    case u'(': return Make(TokenKind::kLeftParen, start, start + 1);
    case u')': return Make(TokenKind::kRightParen, start, start + 1);
    case u'*': return Make(TokenKind::kStar, start, start + 1);
    case u'=': return Make(TokenKind::kEqual, start, start + 1);
    case u'<':
      if (start + 1 < text_.size() && text_[start + 1] == u'=') {
        return Make(TokenKind::kLessEqual, start, start + 2);
      }
      return Make(TokenKind::kLess, start, start + 1);
    case u'>':
      if (start + 1 < text_.size() && text_[start + 1] == u'=') {
        return Make(TokenKind::kGreaterEqual, start, start + 2);
      }
      return Make(TokenKind::kGreater, start, start + 1);
    default: break;
  }
  FailSyntax(text_, start, u"this character is not part of the SQL dialect");
}

Token Lexer::ReadBracketed(std::size_t start) {
  std::size_t end = start + 1;
  while (end < text_.size() && text_[end] != u']') {
    if (text_[end] == u'[') FailSyntax(text_, end, u"a name in brackets cannot hold '['");
    ++end;
  }
  if (end >= text_.size()) FailSyntax(text_, start, u"the name in brackets has no closing ']'");
  if (end == start + 1) FailSyntax(text_, start, u"empty name in brackets");
  return Make(TokenKind::kBracketed, start, end + 1);
}

Token Lexer::ReadText(std::size_t start) {
  const bool interval = datediff_state_ == 2;
  Text value;
  std::size_t i = start + 1;
  for (;;) {
    if (i >= text_.size()) FailSyntax(text_, start, u"the text literal has no closing quote");
    if (text_[i] == u'\'') {
      if (i + 1 < text_.size() && text_[i + 1] == u'\'') {
        if (!interval) value.push_back(u'\'');
        i += 2;
        continue;
      }
      break;
    }
    if (!interval) value.push_back(text_[i]);
    ++i;
  }
  if (interval) return Make(TokenKind::kInterval, start, i + 1);
  Token token = Make(TokenKind::kText, start, i + 1);
  token.literal = static_cast<int>(literals_->size());
  literals_->push_back(Variant::FromText(std::move(value)));
  return token;
}

Token Lexer::ReadNumber(std::size_t start) {
  std::size_t i = start;
  const bool negative = text_[i] == u'-';
  if (negative) ++i;
  // The whole part's value as it is scanned, while it surely fits.
  constexpr std::size_t kSureDigits = 18;
  std::size_t digits = 0;
  std::int64_t scanned = 0;
  for (; i < text_.size() && IsDigit(text_[i]); ++i, ++digits) {
    if (digits < kSureDigits) scanned = scanned * 10 + (text_[i] - u'0');
  }
  bool whole = true;
  if (i < text_.size() && text_[i] == u'.') {
    whole = false;
    ++i;
    while (i < text_.size() && IsDigit(text_[i])) ++i;
  }
  if (i < text_.size() && (text_[i] == u'e' || text_[i] == u'E')) {
    std::size_t j = i + 1;
    if (j < text_.size() && (text_[j] == u'+' || text_[j] == u'-')) ++j;
    if (j < text_.size() && IsDigit(text_[j])) {
      whole = false;
      i = j;
      while (i < text_.size() && IsDigit(text_[i])) ++i;
    }
  }
  if (i < text_.size() && IsNamePart(text_[i])) {
    FailSyntax(text_, start, u"a number runs into a name");
  }
  // Most numbers of a statement are whole and short: read already.
  if (whole && digits <= kSureDigits) {
    const std::int64_t integer = negative ? -scanned : scanned;
    if (integer >= std::numeric_limits<Long>::min() && integer <= std::numeric_limits<Long>::max()) {
      Token token = Make(TokenKind::kNumber, start, i);
      token.literal = static_cast<int>(literals_->size());
      literals_->push_back(Variant::FromLong(static_cast<Long>(integer)));
      return token;
    }
  }
  // The token is ASCII; from_chars reads it without any locale.
  std::string ascii(i - start, '\0');
  for (std::size_t k = start; k < i; ++k) ascii[k - start] = static_cast<char>(text_[k]);
  const char* first = ascii.data();
  const char* last = ascii.data() + ascii.size();
  Variant value;
  long long integer = 0;
  if (whole) {
    const auto [ptr, ec] = std::from_chars(first, last, integer);
    if (ec == std::errc() && ptr == last && integer >= std::numeric_limits<Long>::min() &&
        integer <= std::numeric_limits<Long>::max()) {
      value = Variant::FromLong(static_cast<Long>(integer));
    }
  }
  if (value.IsEmpty()) {
    double real = 0.0;
    const auto [ptr, ec] = std::from_chars(first, last, real);
    if (ec != std::errc() || ptr != last) FailSyntax(text_, start, u"the number is out of range");
    value = Variant::FromDouble(real);
  }
  Token token = Make(TokenKind::kNumber, start, i);
  token.literal = static_cast<int>(literals_->size());
  literals_->push_back(std::move(value));
  return token;
}

Token Lexer::ReadDate(std::size_t start) {
  std::size_t end = start + 1;
  while (end < text_.size() && text_[end] != u'#') ++end;
  if (end >= text_.size()) FailSyntax(text_, start, u"the date literal has no closing '#'");
  const std::u16string_view inside = text_.substr(start + 1, end - start - 1);
  DateTime date;
  bool read = false;
  try {
    date = read_date_(inside);
    read = date.IsValid();
  } catch (...) {
    // Whatever the reader raises, the statement holds a date it cannot read.
    read = false;
  }
  if (!read) {
    Text description = u"Syntax error in date in the statement: #";
    description += inside;
    description += u"# is not a date";
    Raise(kErrSyntax, description);
  }
  Token token = Make(TokenKind::kDate, start, end + 1);
  token.literal = static_cast<int>(literals_->size());
  literals_->push_back(Variant::FromDate(date));
  return token;
}

std::vector<Token> Tokenize(std::u16string_view statement, const DateReader& read_date,
                            std::vector<Variant>* literals) {
  Lexer lexer(statement, read_date, literals);
  std::vector<Token> tokens;
  for (;;) {
    tokens.push_back(lexer.Next());
    if (tokens.back().kind == TokenKind::kEnd) return tokens;
  }
}

}  // namespace qorvel::jet::sql
