// The display formatters of KX: phone numbers, ZIP codes, Social Security
// numbers, personal names, postal addresses and durations in minutes.
//
// Each function is the body of one KX method: it computes the display text
// from its arguments alone (no database) and raises an AutomationError for
// a run-time error, which the method's handler turns into the method's
// error result. The numeric test of FormatPhone (and of DecryptSSN, which
// FormatSS calls) reads the user locale; everything else here is the same
// in every locale. Lengths and positions are in UTF-16 code units, and
// trimming removes the space character U+0020 only.
//
// None of the functions writes to its arguments.
#ifndef QORVEL_KX_FORMATTERS_H_
#define QORVEL_KX_FORMATTERS_H_

#include <cstddef>
#include <functional>

#include "base/text_ops.h"
#include "qorvel/types.h"

namespace qorvel::kx {

// The house phone format: three digits in parentheses, a blank, three
// digits, a hyphen, four digits.
inline constexpr char16_t kHousePhoneFormat[] = u"(@@@) @@@-@@@@";
// Blanks put after a phone number before it fills a caller's pattern, so
// that a caller's pattern is filled from the left.
inline constexpr std::size_t kPhoneFiller = 30;

// Places `text` into the placeholders ('@') of `pattern`; every other
// character of the pattern is copied. With P placeholders and a text of L
// code units: when L < P the text is right-aligned (the first P - L
// placeholders become blanks); otherwise the placeholders take the first P
// code units and the rest of the text is dropped. The result always has the
// pattern's length.
Text FillPlaceholders(TextView pattern, TextView text);

// A phone number for display. A phone that is not numeric under the user
// locale (including the empty text) comes back exactly as passed. A numeric
// phone fills the house format when `phone_format` is empty; otherwise it
// fills a copy of `phone_format` in which '#' stands for '@', followed by
// kPhoneFiller blanks, so the caller's pattern is filled from the left and
// the result has the pattern's length. The same arguments always give the
// same result.
Text FormatPhone(const Text& phone_format, const Text& phone);

// The number that the beginning of `text` spells, read the same way in
// every locale: blanks, tabs and line feeds anywhere are skipped; then an
// optional sign, decimal digits with at most one '.', and an optional
// exponent (E or e, an optional sign, digits); or "&H" with hexadecimal or
// "&O" with octal digits (either letter case). Reading stops at the first
// character that does not fit; a text that does not begin with a number is
// 0, and so is a value too small for a double. Raises 6 (Overflow) for a
// value beyond the range of a double.
double LeadingValue(TextView text);

// A ZIP code for display: the trimmed text, with a hyphen after its fifth
// code unit when it has exactly nine and its leading value is positive.
// Raises 6 (Overflow) when that leading value is beyond a double.
Text FormatZip(TextView zip);

// A Social Security number for display: the trimmed text when it does not
// have nine code units; otherwise the text after DecryptSSN, cut as
// ddd-dd-rest. Raises whatever DecryptSSN raises.
Text FormatSS(TextView ss_number);

// A person's name: "First Middle Last" (trimmed at its ends) when `fml` is
// true (any non-zero value), "Last, First Middle" (untrimmed) otherwise. A
// middle name of one code unit is shown as an initial with a period. A name
// that comes out empty is a single blank.
Text FormatName(const Text& first, const Text& middle, const Text& last, Boolean fml);

// How an address formatter turns the ZIP part into display text. KX passes
// its own FormatZip, called through its _KX interface; an error raised by
// the call is an error of the address.
using ZipFormatter = std::function<Text(const Text& zip)>;

// A postal address, as a block of CR LF separated lines when `multi_line` is
// true (any non-zero value; empty parts and their line breaks left out,
// nothing trimmed), or as one line otherwise (every part and its separator
// kept, the ends of the whole trimmed). The ZIP part goes through
// `format_zip`: in the block form only when it is not empty, on one line
// always. Precondition: `format_zip` is callable.
Text FormatAddress(const Text& address1, const Text& address2, const Text& city,
                   const Text& state, const Text& zip, Boolean multi_line,
                   const ZipFormatter& format_zip);

// As FormatAddress, with a third street line after the second.
// Precondition: `format_zip` is callable.
Text FormatAddress2(const Text& address1, const Text& address2, const Text& address3,
                    const Text& city, const Text& state, const Text& zip, Boolean multi_line,
                    const ZipFormatter& format_zip);

// A duration as hours and minutes: the hours rounded down (toward minus
// infinity), " hr ", the remaining minutes 0 to 59 in two digits, " mn".
// Defined for every Long; never raises except for lack of memory.
Text FormatMinutes(Long minutes);

}  // namespace qorvel::kx

#endif  // QORVEL_KX_FORMATTERS_H_
