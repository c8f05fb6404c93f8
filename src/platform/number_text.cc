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

}  // namespace

std::optional<ScannedNumber> ScanNumber(const LocaleInfo& info, TextView text, NumberSyntax syntax) {
  const bool conversion = syntax == NumberSyntax::kConversion;
  const std::size_t n = text.size();
  ScannedNumber number;
  std::size_t pos = 0;
  bool sign_seen = false;
  bool paren_open = false;
  bool paren_closed = false;
  bool currency_seen = false;

  auto match_sign = [&](std::size_t at, bool* negative) -> std::size_t {
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
  };
  // Leading and trailing parts: one sign, one pair of parentheses (not
  // both), one currency symbol, blanks; any order.
  auto match_affix = [&](bool leading) -> bool {
    if (IsBlank(text[pos])) {
      ++pos;
      return true;
    }
    bool negative = false;
    if (!sign_seen && !paren_open) {
      if (const std::size_t len = match_sign(pos, &negative)) {
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
      if (const std::size_t len = match_sign(pos, &negative)) {
        number.negative = negative;
        pos += len;
      }
    }
  }

  // Digits, thousands separators after the first digit, one decimal separator.
  const bool blank_thousands =
      conversion && (IsNoBreakSpace(info.thousands) || IsNoBreakSpace(info.money_thousands));
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

bool IsNumericText(const LocaleInfo& info, TextView text) {
  const std::optional<ScannedNumber> number = ScanNumber(info, text, NumberSyntax::kNumericTest);
  return number && std::isfinite(ComposeDouble(*number));
}

}  // namespace qorvel::platform
