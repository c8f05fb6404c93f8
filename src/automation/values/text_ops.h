// Small operations on automation text and numbers that several layers
// share: trimming blanks, comparing names without regard to ASCII case,
// UTF-8 encoding of one code point, and rounding halves to even.
#ifndef QORVEL_AUTOMATION_VALUES_TEXT_OPS_H_
#define QORVEL_AUTOMATION_VALUES_TEXT_OPS_H_

#include <string>

#include "qorvel/types.h"

namespace qorvel {

// The text without its leading and trailing space characters (tabs and
// line breaks stay).
TextView TrimBlanks(TextView text);

// Equal when the texts differ at most in the case of ASCII letters.
bool EqualsIgnoringAsciiCase(TextView a, TextView b);

// Appends the UTF-8 form of `cp`; a surrogate or a value beyond U+10FFFF
// is written as U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);

// `x` rounded to a whole number, halves to the even neighbour, whatever the
// floating-point rounding mode.
double RoundHalfEven(double x);

}  // namespace qorvel

#endif  // QORVEL_AUTOMATION_VALUES_TEXT_OPS_H_
