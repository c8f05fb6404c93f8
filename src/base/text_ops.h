// Small operations on automation text and numbers that several layers
// share: the CR LF line break, integers as decimal text, trimming blanks,
// comparing names without regard to ASCII case, UTF-8 encoding of one code
// point, and rounding halves to even.
#ifndef QORVEL_BASE_TEXT_OPS_H_
#define QORVEL_BASE_TEXT_OPS_H_

#include <string>
#include <string_view>

#include "qorvel/types.h"

namespace qorvel {

// The line break of prompts and address blocks: carriage return, line feed.
inline constexpr char16_t kCrLf[] = u"\r\n";

// `value` as plain decimal text: a minus sign when negative, no grouping.
Text DecimalText(long long value);

// The text without its leading and trailing space characters (tabs and
// line breaks stay).
TextView TrimBlanks(TextView text);

// Equal when the texts differ at most in the case of ASCII letters.
bool EqualsIgnoringAsciiCase(TextView a, TextView b);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// The text with its ASCII letters in lower (upper) case; other bytes stay.
std::string AsciiLowercase(std::string_view text);
std::string AsciiUppercase(std::string_view text);

// Appends the UTF-8 form of `cp`; a surrogate or a value beyond U+10FFFF
// is written as U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);

// `x` rounded to a whole number, halves to the even neighbour, whatever the
// floating-point rounding mode.
double RoundHalfEven(double x);

}  // namespace qorvel

#endif  // QORVEL_BASE_TEXT_OPS_H_
