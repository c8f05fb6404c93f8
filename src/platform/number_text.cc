// The number scanner shared by the locale adapters (see number_text.h).
#include "platform/number_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>

#include "qorvel/automation_error.h"

namespace qorvel::platform {

using scan::DigitValue;
using scan::IsBlank;
using scan::IsDigit;
using scan::MatchAt;
using scan::MatchFoldedAt;

namespace {

bool IsNoBreakSpace(TextView separator) {
  return separator == u"\u00A0" || separator == u"\u202F";
}

double PowerOfTen(long n) {
  static constexpr double kExact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (n < static_cast<long>(std::size(kExact))) return kExact[n];
  return std::pow(10.0, static_cast<double>(n));
}

// Length of the sign at `at` (the locale's or an ASCII one), with whether it
// is negative; 0 when there is none.
std::size_t MatchSign(const LocaleInfo& info, TextView text, std::size_t at, bool* negative) {
  if (const std::size_t len = MatchAt(text, at, info.negative_sign)) {
    *negative = true;
    return len;
  }
  if (const std::size_t len = MatchAt(text, at, info.positive_sign)) {
    *negative = false;
    return len;
  }
  if (text[at] == u'-' || text[at] == u'+') {
    *negative = text[at] == u'-';
    return 1;
  }
  return 0;
}

// Whether the locale groups thousands with a non-breaking space, where the
// conversions take a plain blank for it too.
bool GroupsWithBlank(const LocaleInfo& info) {
  return IsNoBreakSpace(info.thousands) || IsNoBreakSpace(info.money_thousands);
}

// The blanks around a base 16 or 8 number: the plain ones and the Unicode
// spaces (no-break spaces included).
constexpr bool IsRadixBlank(char16_t c) {
  return IsBlank(c) || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The value of `c` as a digit of base 16 or 8, or -1.
int RadixDigit(char16_t c, int radix) {
  if (c >= u'0' && c <= u'7') return c - u'0';
  if (radix == 8) return -1;
  if (c == u'8' || c == u'9') return c - u'0';
  const char16_t folded = scan::Fold(c);
  return folded >= u'a' && folded <= u'f' ? folded - u'a' + 10 : -1;
}

// A text with '&' as a base 16 ("&H") or 8 ("&O") number. Before it:
// blanks, a plus, a minus and an opening parenthesis, each at most once, in
// any order; after it: blanks, a sign when none came before, the closing
// parenthesis when one was opened. Signs are read and ignored. No currency
// symbol; no plain blank or no-break space after the digits where those
// group thousands.
std::optional<ScannedNumber> ScanRadix(const LocaleInfo& info, TextView text) {
  const std::size_t n = text.size();
  std::size_t pos = 0;
  bool plus = false;
  bool minus = false;
  bool paren = false;
  while (pos < n) {
    bool negative = false;
    if (IsRadixBlank(text[pos])) {
      ++pos;
    } else if (const std::size_t len = MatchSign(info, text, pos, &negative);
               len != 0 && !(negative ? minus : plus)) {
      (negative ? minus : plus) = true;
      pos += len;
    } else if (text[pos] == u'(' && !paren) {
      paren = true;
      ++pos;
    } else {
      break;
    }
  }
  if (n - pos < 3 || text[pos] != u'&') return std::nullopt;
  const char16_t kind = scan::Fold(text[pos + 1]);
  if (kind != u'h' && kind != u'o') return std::nullopt;
  ScannedNumber number;
  number.radix = kind == u'h' ? 16 : 8;
  const unsigned shift = kind == u'h' ? 4 : 3;
  pos += 2;
  const std::size_t first = pos;
  for (; pos < n; ++pos) {
    const int digit = RadixDigit(text[pos], number.radix);
    if (digit < 0) break;
    number.radix_value = number.radix_value > (UINT64_MAX >> shift)
                             ? UINT64_MAX
                             : (number.radix_value << shift) | static_cast<unsigned>(digit);
  }
  if (pos == first) return std::nullopt;
  const bool blank_thousands = GroupsWithBlank(info);
  bool closed = false;
  bool trailing_sign = false;
  while (pos < n) {
    const char16_t c = text[pos];
    bool negative = false;
    if (IsRadixBlank(c) && !(blank_thousands && (c == u' ' || c == 0xA0 || c == 0x202F))) {
      ++pos;
    } else if (const std::size_t len = MatchSign(info, text, pos, &negative);
               len != 0 && !plus && !minus && !trailing_sign) {
      trailing_sign = true;
      pos += len;
    } else if (c == u')' && paren && !closed) {
      closed = true;
      ++pos;
    } else {
      return std::nullopt;
    }
  }
  if (paren != closed) return std::nullopt;
  return number;
}

}  // namespace

std::optional<ScannedNumber> ScanNumber(const LocaleInfo& info, TextView text, NumberSyntax syntax) {
  const bool conversion = syntax == NumberSyntax::kConversion;
  if (conversion && text.find(u'&') != TextView::npos) return ScanRadix(info, text);
  const std::size_t n = text.size();
  ScannedNumber number;
  std::size_t pos = 0;
  bool sign_seen = false;
  bool paren_open = false;
  bool paren_closed = false;
  bool currency_seen = false;

  // Leading and trailing parts: one sign, one pair of parentheses (not
  // both), one currency symbol, blanks; any order.
  auto match_affix = [&](bool leading) -> bool {
    if (IsBlank(text[pos])) {
      ++pos;
      return true;
    }
    bool negative = false;
    if (!sign_seen && !paren_open) {
      if (const std::size_t len = MatchSign(info, text, pos, &negative)) {
        sign_seen = true;
        number.negative = negative;
        pos += len;
        return true;
      }
    }
    if (!conversion) return false;
    if (leading && !paren_open && !sign_seen && text[pos] == u'(') {
      paren_open = true;
      ++pos;
      return true;
    }
    if (!leading && paren_open && !paren_closed && text[pos] == u')') {
      paren_closed = true;
      ++pos;
      return true;
    }
    if (!currency_seen) {
      if (const std::size_t len = MatchFoldedAt(text, pos, info.currency)) {
        currency_seen = true;
        pos += len;
        return true;
      }
    }
    return false;
  };

  if (conversion) {
    while (pos < n && match_affix(true)) {
    }
  } else {
    while (pos < n && IsBlank(text[pos])) ++pos;
    bool negative = false;
    if (pos < n) {
      if (const std::size_t len = MatchSign(info, text, pos, &negative)) {
        number.negative = negative;
        pos += len;
      }
    }
  }

  // Digits, thousands separators after the first digit, one decimal separator.
  const bool blank_thousands = conversion && GroupsWithBlank(info);
  auto match_decimal = [&](std::size_t at) -> std::size_t {
    if (const std::size_t len = MatchAt(text, at, info.decimal)) return len;
    return conversion ? MatchAt(text, at, info.money_decimal) : 0;
  };
  auto match_thousands = [&](std::size_t at) -> std::size_t {
    if (const std::size_t len = MatchAt(text, at, info.thousands)) return len;
    if (!conversion) return 0;
    if (const std::size_t len = MatchAt(text, at, info.money_thousands)) return len;
    return blank_thousands && text[at] == u' ' ? 1 : 0;
  };
  bool any_digit = false;
  bool decimal_seen = false;
  long fraction_digits = 0;
  while (pos < n) {
    const char16_t c = text[pos];
    if (IsDigit(c)) {
      any_digit = true;
      if (!number.digits.empty() || c != u'0') number.digits.push_back(static_cast<char>(c));
      if (decimal_seen) ++fraction_digits;
      ++pos;
      continue;
    }
    if (!decimal_seen) {
      if (const std::size_t len = match_decimal(pos)) {
        decimal_seen = true;
        pos += len;
        continue;
      }
    }
    if (any_digit) {
      if (const std::size_t len = match_thousands(pos)) {
        pos += len;
        continue;
      }
    }
    break;
  }
  if (!any_digit) return std::nullopt;

  long exponent = 0;
  if (pos < n && (text[pos] == u'e' || text[pos] == u'E')) {
    std::size_t p = pos + 1;
    bool negative = false;
    if (p < n && (text[p] == u'+' || text[p] == u'-')) negative = text[p++] == u'-';
    if (p >= n || !IsDigit(text[p])) return std::nullopt;
    for (; p < n && IsDigit(text[p]); ++p) {
      if (exponent < 1000000) exponent = exponent * 10 + DigitValue(text[p]);
    }
    exponent = negative ? -exponent : exponent;
    pos = p;
  }
  number.exponent = exponent - fraction_digits;

  if (conversion) {
    while (pos < n && match_affix(false)) {
    }
  } else {
    while (pos < n && IsBlank(text[pos])) ++pos;
  }
  if (pos != n || paren_open != paren_closed) return std::nullopt;
  if (paren_open) number.negative = true;
  return number;
}

double ComposeDouble(const ScannedNumber& number) {
  if (number.radix != 10) {
    if (number.radix_value <= 0x7FFFFFFF) return static_cast<double>(number.radix_value);
    return number.radix_value == 0x80000000 ? -2147483648.0 : HUGE_VAL;
  }
  constexpr std::size_t kMaxDigits = 29;
  const std::size_t used = std::min(number.digits.size(), kMaxDigits);
  double whole = 0.0;
  for (std::size_t i = 0; i < used; ++i) whole = whole * 10.0 + (number.digits[i] - '0');
  if (whole == 0.0) return 0.0;
  const long exponent = number.exponent + static_cast<long>(number.digits.size() - used);
  double value = 0.0;
  if (exponent >= 0) {
    value = exponent > 400 ? HUGE_VAL : whole * PowerOfTen(exponent);
  } else if (exponent >= -300) {
    value = whole / PowerOfTen(-exponent);
  } else {
    value = exponent < -700 ? 0.0 : whole / PowerOfTen(300) / PowerOfTen(-exponent - 300);
  }
  return number.negative ? -value : value;
}

Currency ComposeCurrency(const ScannedNumber& number) {
  if (number.radix != 10) RaiseOverflow();
  const std::string& digits = number.digits;
  if (digits.empty()) return Currency();
  const std::uint64_t limit = number.negative
                                  ? static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1
                                  : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  // The digits that form the whole number of ten-thousandths.
  const long whole_digits = static_cast<long>(digits.size()) + number.exponent + 4;
  if (whole_digits > 20) RaiseOverflow();  // at least 10^20 ten-thousandths
  std::uint64_t magnitude = 0;
  for (long i = 0; i < whole_digits; ++i) {
    const unsigned digit = i < static_cast<long>(digits.size()) ? static_cast<unsigned>(digits[i] - '0') : 0U;
    if (magnitude > (limit - digit) / 10) RaiseOverflow();
    magnitude = magnitude * 10 + digit;
  }
  if (whole_digits >= 0 && whole_digits < static_cast<long>(digits.size())) {
    const char first_dropped = digits[static_cast<std::size_t>(whole_digits)];
    const bool more = digits.find_first_not_of('0', static_cast<std::size_t>(whole_digits) + 1) != std::string::npos;
    if (first_dropped > '5' || (first_dropped == '5' && (more || magnitude % 2 == 1))) {
      if (magnitude == limit) RaiseOverflow();
      ++magnitude;
    }
  }
  if (!number.negative || magnitude == 0) return Currency::FromRaw(static_cast<std::int64_t>(magnitude));
  return Currency::FromRaw(-static_cast<std::int64_t>(magnitude - 1) - 1);
}

long long WrapRadix(const ScannedNumber& number, int bits) {
  const std::uint64_t limit = (std::uint64_t{1} << bits) - 1;
  if (number.radix_value > limit) RaiseOverflow();
  const std::uint64_t sign_bit = std::uint64_t{1} << (bits - 1);
  const long long value = static_cast<long long>(number.radix_value);
  return number.radix_value & sign_bit ? value - static_cast<long long>(limit) - 1 : value;
}

bool IsNumericText(const LocaleInfo& info, TextView text) {
  const std::optional<ScannedNumber> number = ScanNumber(info, text, NumberSyntax::kNumericTest);
  return number && std::isfinite(ComposeDouble(*number));
}

}  // namespace qorvel::platform
