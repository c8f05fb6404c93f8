// Writing the JSON that the tool prints: strings and automation values.
#ifndef QORVEL_TOOLS_JSON_H_
#define QORVEL_TOOLS_JSON_H_

#include <string>
#include <string_view>

#include "qorvel/variant.h"

namespace qorvel::tool {

// A JSON string literal of UTF-8 text, with quotes.
std::string JsonString(std::string_view utf8);

// A value as JSON: Text a string, Currency a string with exactly four
// decimals, Long/Integer/Byte numbers, Boolean true/false, DateTime an ISO
// text, Double a number, Empty and Null null.
std::string JsonValue(const Variant& value);

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_JSON_H_
