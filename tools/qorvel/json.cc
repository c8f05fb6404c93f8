// JSON output of the tool.
#include "json.h"

#include <cmath>
#include <cstdio>

namespace qorvel::tool {

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (u < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", u);
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string JsonValue(const Variant& value) {
  switch (value.type()) {
    case VarType::kEmpty:
    case VarType::kNull: return "null";
    case VarType::kText: return JsonString(ToUtf8(value.AsText()));
    case VarType::kCurrency: return JsonString(value.AsCurrency().ToFixedString());
    case VarType::kInteger: return std::to_string(value.AsInteger());
    case VarType::kLong: return std::to_string(value.AsLong());
    case VarType::kByte: return std::to_string(value.AsByte());
    case VarType::kBoolean: return value.AsBoolean() ? "true" : "false";
    case VarType::kDate: return JsonString(value.AsDate().ToIsoString());
    case VarType::kDecimal: return JsonString(value.AsDecimal().ToString());
    case VarType::kSingle:
    case VarType::kDouble: {
      const double d = value.type() == VarType::kSingle ? value.AsSingle() : value.AsDouble();
      if (!std::isfinite(d)) return "null";
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.17g", d);
      return buf;
    }
  }
  return "null";
}

}  // namespace qorvel::tool
