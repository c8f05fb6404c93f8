// Reading a number from text under a locale's separators and signs: the
// scanner that the text-to-number conversions and the numeric test share,
// whatever the platform.
//
// The numeric test (NumberSyntax::kNumericTest, IsNumericText) takes blanks
// around the number, one sign at the front, digits, the locale's thousands
// separators after the first digit, at most one decimal separator and an
// exponent; no currency symbol, no parentheses, no sign at the end. The
// conversion syntax also takes a sign at the end, parentheses for a
// negative number, the currency symbol before or after, the money
// separators, and a plain blank where the locale groups with a
// non-breaking space. It also reads whole numbers written in base 16
// ("&H1F") or base 8 ("&O17"), with blanks, signs and parentheses around
// them that it reads and ignores ("-&H10" is 16) but no currency symbol;
// the numeric test does not.
#ifndef QORVEL_PLATFORM_NUMBER_TEXT_H_
#define QORVEL_PLATFORM_NUMBER_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/locale.h"
#include "qorvel/currency.h"
#include "qorvel/types.h"

namespace qorvel::platform {

// Character tests shared by the readers of numbers and dates.
namespace scan {

constexpr bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
constexpr int DigitValue(char16_t c) { return c - u'0'; }

// The blanks that may surround a number or separate the parts of a date.
constexpr bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f';
}

// Case folding for the letters of the table's languages (ASCII, Latin-1).
constexpr char16_t Fold(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
    return static_cast<char16_t>(c + 0x20);
  }
  return c;
}

// Length of `token` when the text at `pos` starts with it; 0 when it does
// not or when the token is empty.
inline std::size_t MatchAt(TextView text, std::size_t pos, TextView token) {
  if (token.empty() || text.size() - pos < token.size()) return 0;
  return text.compare(pos, token.size(), token) == 0 ? token.size() : 0;
}

// As MatchAt, ignoring case.
inline std::size_t MatchFoldedAt(TextView text, std::size_t pos, TextView token) {
  if (token.empty() || text.size() - pos < token.size()) return 0;
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (Fold(text[pos + i]) != Fold(token[i])) return 0;
  }
  return token.size();
}

}  // namespace scan

// A number read from text: (-1)^negative * digits * 10^exponent. `digits`
// has no leading zeros and is empty for zero.
struct ScannedNumber {
  bool negative = false;
  std::string digits;
  long exponent = 0;
  // 16 or 8 for "&H..." and "&O...", whose value is `radix_value` (digits,
  // exponent and sign unused); values beyond 64 bits are kept as the
  // largest 64-bit value.
  int radix = 10;
  std::uint64_t radix_value = 0;
};

enum class NumberSyntax {
  kConversion,   // text to double or Currency
  kNumericTest,  // the numeric test: no currency, no parentheses, sign first
};

// Reads the whole text as one number in the given syntax, or nothing when
// it is not one. Only the separators, signs and currency symbol of `info`
// are used. Never raises.
std::optional<ScannedNumber> ScanNumber(const LocaleInfo& info, TextView text, NumberSyntax syntax);

// The double of a scanned number: its first 29 significant digits gathered
// as a double, then multiplied or divided by the power of ten. Infinite
// when beyond the double range. A base 16 or 8 number up to &H7FFFFFFF is
// its value and &H80000000 is -2147483648; a larger one is infinite (the
// conversions' overflow).
double ComposeDouble(const ScannedNumber& number);

// The Currency of a scanned number, exact, halves rounded to even at the
// fourth decimal. Raises Overflow (6) outside the Currency range and for
// every base 16 or 8 number, as the conversion to Currency does.
Currency ComposeCurrency(const ScannedNumber& number);

// A base 16 or 8 number as a whole number of `bits` (16 or 32) bits: up to
// 2^bits - 1, its bit pattern read as signed (&HFFFF is -1 as an Integer,
// 65535 as a Long). Raises Overflow (6) beyond. Precondition:
// number.radix != 10.
long long WrapRadix(const ScannedNumber& number, int bits);

// The numeric test under the separators and signs of `info`: the text reads
// as one number of the numeric-test syntax whose value is a finite double.
// Never raises.
bool IsNumericText(const LocaleInfo& info, TextView text);

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_NUMBER_TEXT_H_
