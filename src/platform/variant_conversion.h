// Conversions of a Variant from one automation type to another under the
// user locale, as the automation's own value conversions make them: the
// rules late-bound callers' arguments are coerced by, and the value-to-text
// conversion that turns database fields into text.
#ifndef QORVEL_PLATFORM_VARIANT_CONVERSION_H_
#define QORVEL_PLATFORM_VARIANT_CONVERSION_H_

#include "platform/locale.h"
#include "qorvel/variant.h"

namespace qorvel::platform {

// The value as text: text unchanged, Empty as "", numbers as plain decimal
// text with the locale's decimal separator, dates as the locale's short date
// (and long time when the time is not midnight), Booleans as "True" or
// "False". Raises 13 (Type mismatch) for Null.
Text VariantToText(const Variant& value, const Locale& locale);

// The value converted to `type`: one of Text, Integer, Long, Boolean,
// Double, Currency, Date. Whole numbers are rounded half to even; a text
// in base 16 or 8 ("&HFFFF") fills an Integer's or a Long's bits (-1);
// text reads as a Boolean as "True", "False" (any case), "#TRUE#",
// "#FALSE#" or a number; Empty
// converts to the type's zero; Null converts to nothing (13). Raises 13 for a
// text that is not a value of the type and 6 (Overflow) for a value beyond
// its range.
Variant ChangeType(const Variant& value, VarType type, const Locale& locale);

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_VARIANT_CONVERSION_H_
