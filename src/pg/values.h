// Values between the server and the engine: the binary form of result
// values read into the Variants of their Jet types, and values written as
// the text the server reads (statement parameters and COPY rows).
//
// A timestamp is a calendar date and time; an automation date is days since
// 30 December 1899 whose fraction, before that day too, is the time of day
// (-1.25 is 29 December 1899, 06:00). The two convert exactly to the
// microsecond.
#ifndef QORVEL_PG_VALUES_H_
#define QORVEL_PG_VALUES_H_

#include <optional>
#include <string>
#include <string_view>

#include "jet/catalog.h"
#include "qorvel/date_time.h"
#include "qorvel/variant.h"

namespace qorvel::pg {

// "yyyy-mm-dd hh:mm:ss.ffffff", as the server reads a timestamp whatever
// its DateStyle. Raises AutomationError (kErrEngineFailure "Overflow") for
// a date outside years 100 to 9999.
std::string TimestampText(DateTime date);

// The text the server reads for a value: Text as UTF-8, numbers in their
// shortest exact form, Currency and Decimal as plain decimals, dates as
// TimestampText, Boolean as t or f, and nothing for Null. Raises
// AutomationError (kErrEngineFailure) for another Variant type, and as
// TimestampText.
std::optional<std::string> ValueText(const Variant& value);

// The value of server type `oid` in its binary form `bytes` as a Variant of
// `type`, converted as the file engine gives that type (database.h):
// numbers in range, exact money and decimals, dates, GUIDs as
// "{8-4-4-4-12}" in upper case, bytes as upper-case hexadecimal text.
// Raises AutomationError: kErrEngineFailure "Overflow" for a value beyond
// the range of `type` (dates outside years 100 to 9999 included), and
// kErrTypeMismatch for a server type that cannot give `type`.
Variant DecodeValue(unsigned oid, std::string_view bytes, jet::JetType type);

}  // namespace qorvel::pg

#endif  // QORVEL_PG_VALUES_H_
