// The scalar automation types that the QORVEL functions take and return.
//
// Text is an automation string: UTF-16 code units, counted, possibly empty.
// Lengths, positions, trimming and comparisons are on code units. Long and
// Integer are the automation's 32- and 16-bit signed integers. Boolean is
// the 16-bit automation Boolean: True is -1, False is 0, and any non-zero
// value passed in counts as True.
#ifndef QORVEL_TYPES_H_
#define QORVEL_TYPES_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "qorvel/export.h"

namespace qorvel {

using Text = std::u16string;
using TextView = std::u16string_view;
using Long = std::int32_t;
using Integer = std::int16_t;
using Boolean = std::int16_t;

inline constexpr Boolean kTrue = -1;
inline constexpr Boolean kFalse = 0;

// Any non-zero automation Boolean is True.
constexpr bool IsTrue(Boolean value) { return value != 0; }
constexpr Boolean ToBoolean(bool value) { return value ? kTrue : kFalse; }

// Conversions between the UTF-16 text used inside and UTF-8 at the edges.
// Unpaired surrogates become U+FFFD on the way out; invalid UTF-8 becomes
// U+FFFD on the way in. Neither throws except on allocation failure.
QORVEL_API std::string ToUtf8(TextView text);
QORVEL_API Text FromUtf8(std::string_view utf8);

// The offset of the first byte that does not begin a well-formed UTF-8
// sequence (a lead byte whose continuation is missing counts as the fault;
// overlong forms, surrogates and values beyond U+10FFFF are not
// well-formed), or nothing when all of `bytes` is well-formed UTF-8: for
// hosts that reject what FromUtf8 would replace. Never throws.
QORVEL_API std::optional<std::size_t> InvalidUtf8At(std::string_view bytes);

}  // namespace qorvel

#endif  // QORVEL_TYPES_H_
