// Reading values out of text exactly: decimal numbers, money, ISO dates and
// GUIDs, as they appear in SQLite files and in the mirror's text columns.
#ifndef QORVEL_JET_VALUES_H_
#define QORVEL_JET_VALUES_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "qorvel/date_time.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"

namespace qorvel::jet {

// An optional sign, digits, an optional point and digits, blanks around it
// allowed ("-12.3400", "+5", ".5"); at most 28 fractional digits and a
// magnitude below 2^96. Nothing for anything else.
std::optional<Decimal> ParseDecimal(std::string_view text);

// Money text with up to four decimals, exactly, as a count of
// ten-thousandths; more decimals round half to even. Nothing for text that
// is not a number or a value beyond the Currency range.
std::optional<std::int64_t> ParseMoney(std::string_view text);

// "yyyy-mm-dd", optionally followed by a blank or "T" and "hh:mm" or
// "hh:mm:ss" (the fraction of a second is ignored). Nothing for anything
// else or an impossible date.
std::optional<DateTime> ParseIsoDateTime(std::string_view text);
std::optional<DateTime> ParseIsoDateTime(TextView text);

// A GUID written with or without braces and hyphens, in either case, as
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case. Nothing when the
// text does not hold exactly 32 hexadecimal digits in that grouping.
std::optional<std::string> NormalizeGuid(std::string_view text);

// The stored form of an extended date/time (2019 format and later): 42
// ASCII bytes, "DDDDDDDDDDDDDDDDDDD:TTTTTTTTTTTTTTTTTTT:P" and a NUL: the days
// since 1 January of year 1 (proleptic Gregorian calendar), the time of day
// in ticks of 100 ns, and the precision (digits of a second's fraction).
inline constexpr std::size_t kExtendedDateTimeSize = 42;

// The stored extended date/time as "yyyy-mm-dd hh:mm:ss.fffffff" (all seven
// fractional digits, whatever the precision). Nothing when the bytes are
// not of that form or the date lies outside years 1 to 9999.
std::optional<std::string> ExtendedDateTimeText(std::span<const std::uint8_t, kExtendedDateTimeSize> stored);

// Whether the text is of the form ExtendedDateTimeText writes, with a
// valid date and time.
bool IsExtendedDateTimeText(std::string_view text);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_VALUES_H_
