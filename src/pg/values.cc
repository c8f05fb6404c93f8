// Reading the server's binary values and writing values as server text.
#include "pg/values.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/text_ops.h"
#include "jet/errors.h"
#include "jet/values.h"
#include "pg/server_catalog.h"

namespace qorvel::pg {
namespace {

using jet::JetType;

constexpr std::int64_t kMicrosPerDay = 86400000000;
constexpr std::int64_t kEpochDay = 36526;  // 1 January 2000, the server's epoch, as a day number

std::uint64_t BigEndian(std::string_view bytes) {
  std::uint64_t value = 0;
  for (const char c : bytes) value = value << 8 | static_cast<unsigned char>(c);
  return value;
}

// A signed big-endian integer of bytes.size() bytes (2, 4 or 8).
std::int64_t SignedBigEndian(std::string_view bytes) {
  const std::uint64_t value = BigEndian(bytes);
  const unsigned bits = static_cast<unsigned>(8 * bytes.size());
  if (bits < 64 && (value >> (bits - 1)) != 0) {
    return static_cast<std::int64_t>(value) - static_cast<std::int64_t>(std::uint64_t{1} << bits);
  }
  return static_cast<std::int64_t>(value);
}

[[noreturn]] void RaiseRange(std::u16string_view what) {
  jet::Raise(jet::kErrEngineFailure, u"Overflow: " + Text(what) + u" is beyond the range of its type.");
}

[[noreturn]] void RaiseMismatch(unsigned oid, JetType type) {
  jet::Raise(jet::kErrTypeMismatch, u"Data type mismatch: the server's type " + DecimalText(oid) +
                                        u" cannot be read as " + FromUtf8(jet::JetTypeName(type)) + u".");
}

// The date `day` (days since 30 December 1899) at `micros` into the day.
DateTime AutomationDate(std::int64_t day, std::int64_t micros) {
  const double fraction = static_cast<double>(micros) / static_cast<double>(kMicrosPerDay);
  const DateTime date(day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction);
  if (!date.IsValid()) RaiseRange(u"a date");
  return date;
}

// The binary numeric as decimal text: digit groups of base 10,000, the
// first at 10,000^weight, written with `dscale` fractional digits.
std::string NumericText(std::string_view bytes) {
  if (bytes.size() < 8) jet::Raise(jet::kErrEngineFailure, u"The server sent a malformed number.");
  const auto groups = static_cast<int>(SignedBigEndian(bytes.substr(0, 2)));
  const auto weight = static_cast<int>(SignedBigEndian(bytes.substr(2, 2)));
  const auto sign = BigEndian(bytes.substr(4, 2));
  const auto scale = static_cast<int>(BigEndian(bytes.substr(6, 2)));
  if (sign != 0 && sign != 0x4000) RaiseRange(u"a number that is not finite");
  if (groups < 0 || bytes.size() < 8 + 2 * static_cast<std::size_t>(groups)) {
    jet::Raise(jet::kErrEngineFailure, u"The server sent a malformed number.");
  }
  const auto group = [&](int i) {
    return i >= 0 && i < groups ? static_cast<int>(BigEndian(bytes.substr(8 + 2 * static_cast<std::size_t>(i), 2))) : 0;
  };
  char four[8];
  std::string text = sign == 0x4000 ? "-" : "";
  if (weight < 0) text += '0';
  for (int i = 0; i <= weight; ++i) {
    std::snprintf(four, sizeof four, i == 0 ? "%d" : "%04d", group(i));
    text += four;
  }
  if (scale > 0) {
    std::string fraction;
    for (int i = weight + 1; static_cast<int>(fraction.size()) < scale; ++i) {
      std::snprintf(four, sizeof four, "%04d", group(i));
      fraction += four;
    }
    fraction.resize(static_cast<std::size_t>(scale));
    text += '.' + fraction;
  }
  return text;
}

Text Hex(std::string_view bytes) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  Text hex;
  hex.reserve(2 * bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

// A server value read from its binary form, before it becomes a Jet type.
struct Read {
  enum class Kind { kInteger, kReal, kDecimal, kDate, kText, kBytes } kind = Kind::kBytes;
  std::int64_t integer = 0;
  double real = 0;
  std::string decimal = {};  // kDecimal
  DateTime date = {};
  Text text = {};            // kText (GUIDs already in their braces)
};

Read WholeNumber(std::int64_t value) { return {.kind = Read::Kind::kInteger, .integer = value}; }
Read Real(double value) { return {.kind = Read::Kind::kReal, .real = value}; }
Read Date(DateTime value) { return {.kind = Read::Kind::kDate, .date = value}; }
Read TextValue(Text value) { return {.kind = Read::Kind::kText, .text = std::move(value)}; }

Read ReadBinary(unsigned oid, std::string_view bytes) {
  switch (oid) {
    case kBoolOid: return WholeNumber(!bytes.empty() && bytes[0] != 0 ? -1 : 0);
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid: return WholeNumber(SignedBigEndian(bytes));
    case kFloat4Oid: {
      const auto bits = static_cast<std::uint32_t>(BigEndian(bytes));
      float value;
      static_assert(sizeof value == sizeof bits);
      std::memcpy(&value, &bits, sizeof value);
      return Real(value);
    }
    case kFloat8Oid: {
      const std::uint64_t bits = BigEndian(bytes);
      double value;
      std::memcpy(&value, &bits, sizeof value);
      return Real(value);
    }
    case kNumericOid: {
      Read read;
      read.kind = Read::Kind::kDecimal;
      read.decimal = NumericText(bytes);
      return read;
    }
    case kTimestampOid:
    case kTimestampTzOid: {
      const std::int64_t micros = SignedBigEndian(bytes);
      if (micros == std::numeric_limits<std::int64_t>::max() || micros == std::numeric_limits<std::int64_t>::min()) {
        RaiseRange(u"an infinite date");
      }
      const std::int64_t days = micros >= 0 ? micros / kMicrosPerDay : -((-micros - 1) / kMicrosPerDay) - 1;
      return Date(AutomationDate(days + kEpochDay, micros - days * kMicrosPerDay));
    }
    case kDateOid: {
      const std::int64_t days = SignedBigEndian(bytes);
      if (days == std::numeric_limits<std::int32_t>::max() || days == std::numeric_limits<std::int32_t>::min()) {
        RaiseRange(u"an infinite date");
      }
      return Date(AutomationDate(days + kEpochDay, 0));
    }
    case kUuidOid: {
      if (bytes.size() != 16) jet::Raise(jet::kErrEngineFailure, u"The server sent a malformed GUID.");
      const Text hex = Hex(bytes);
      return TextValue(u"{" + hex.substr(0, 8) + u"-" + hex.substr(8, 4) + u"-" + hex.substr(12, 4) + u"-" + hex.substr(16, 4) +
                       u"-" + hex.substr(20) + u"}");
    }
    case kTextOid:
    case kVarcharOid:
    case kBpcharOid:
    case kNameOid:
    case kCharOid: return TextValue(FromUtf8(bytes));
    default: return Read();  // bytea and the rest: their bytes
  }
}

double AsDouble(const Read& read, unsigned oid, JetType type) {
  switch (read.kind) {
    case Read::Kind::kInteger: return static_cast<double>(read.integer);
    case Read::Kind::kReal: return read.real;
    case Read::Kind::kDecimal: return std::strtod(read.decimal.c_str(), nullptr);
    default: RaiseMismatch(oid, type);
  }
}

Variant IntegerOf(const Read& read, unsigned oid, JetType type) {
  std::int64_t value = read.integer;
  if (read.kind != Read::Kind::kInteger) {
    const double d = AsDouble(read, oid, type);
    if (!(d > -9.2e18 && d < 9.2e18)) RaiseRange(u"a number");
    value = std::llround(d);
  }
  const std::int64_t low = type == JetType::kByte ? 0 : type == JetType::kInteger ? -32768 : -2147483648LL;
  const std::int64_t high = type == JetType::kByte ? 255 : type == JetType::kInteger ? 32767 : 2147483647LL;
  if (value < low || value > high) RaiseRange(u"a whole number");
  if (type == JetType::kByte) return Variant::FromByte(static_cast<std::uint8_t>(value));
  if (type == JetType::kInteger) return Variant::FromInteger(static_cast<Integer>(value));
  return Variant::FromLong(static_cast<Long>(value));
}

}  // namespace

std::string TimestampText(DateTime date) {
  const double value = date.value();
  const double whole = std::trunc(value);
  auto day = static_cast<std::int64_t>(whole);  // the calendar day, before 1899 too
  auto micros = std::llround(std::fabs(value - whole) * static_cast<double>(kMicrosPerDay));
  if (micros >= kMicrosPerDay) {
    micros -= kMicrosPerDay;
    ++day;
  }
  const DateTime midnight(static_cast<double>(day));
  if (!midnight.IsValid()) RaiseRange(u"a date");
  const DateTime::Parts parts = midnight.ToParts();
  const std::int64_t seconds = micros / 1000000;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%06lld", parts.year, parts.month, parts.day,
                static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60),
                static_cast<long long>(micros % 1000000));
  return text;
}

std::optional<std::string> ValueText(const Variant& value) {
  char buffer[64];
  const auto shortest = [&](auto number) {
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, number).ptr;
    return std::string(buffer, end);
  };
  switch (value.type()) {
    case VarType::kNull: return std::nullopt;
    case VarType::kText: return ToUtf8(value.AsText());
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong: return shortest(value.AsLong());
    case VarType::kSingle: return shortest(value.AsSingle());
    case VarType::kDouble: return shortest(value.AsDouble());
    case VarType::kCurrency: return value.AsCurrency().ToFixedString();
    case VarType::kDecimal: return value.AsDecimal().ToString();
    case VarType::kDate: return TimestampText(value.AsDate());
    case VarType::kBoolean: return std::string(value.AsBoolean() ? "t" : "f");
    default:
      jet::Raise(jet::kErrEngineFailure,
                 u"Cannot send a value of type " + FromUtf8(VarTypeName(value.type())) + u" to the server.");
  }
}

Variant DecodeValue(unsigned oid, std::string_view bytes, JetType type) {
  const Read read = ReadBinary(oid, bytes);
  switch (type) {
    case JetType::kByte:
    case JetType::kInteger:
    case JetType::kLong: return IntegerOf(read, oid, type);
    case JetType::kSingle: return Variant::FromSingle(static_cast<float>(AsDouble(read, oid, type)));
    case JetType::kDouble: return Variant::FromDouble(AsDouble(read, oid, type));
    case JetType::kCurrency: {
      if (read.kind == Read::Kind::kReal) return Variant::FromCurrency(Currency::FromDouble(read.real));
      if (read.kind != Read::Kind::kDecimal && read.kind != Read::Kind::kInteger) RaiseMismatch(oid, type);
      const auto raw =
          jet::ParseMoney(read.kind == Read::Kind::kDecimal ? read.decimal : std::to_string(read.integer));
      if (!raw) RaiseRange(u"an amount of money");
      return Variant::FromCurrency(Currency::FromRaw(*raw));
    }
    case JetType::kDateTime:
      if (read.kind != Read::Kind::kDate) RaiseMismatch(oid, type);
      return Variant::FromDate(read.date);
    case JetType::kBoolean:
      if (read.kind != Read::Kind::kInteger) RaiseMismatch(oid, type);
      return Variant::FromBoolean(read.integer != 0);
    case JetType::kNumeric: {
      if (read.kind != Read::Kind::kInteger && read.kind != Read::Kind::kDecimal) {
        return Variant::FromDouble(AsDouble(read, oid, type));
      }
      const std::string text = read.kind == Read::Kind::kInteger ? std::to_string(read.integer) : read.decimal;
      if (const auto decimal = jet::ParseDecimal(text)) return Variant::FromDecimal(*decimal);
      return Variant::FromDouble(std::strtod(text.c_str(), nullptr));
    }
    case JetType::kGuid:
      if (read.kind == Read::Kind::kText) {
        if (const auto guid = jet::NormalizeGuid(ToUtf8(read.text))) return Variant::FromText(FromUtf8(*guid));
        return Variant::FromText(read.text);
      }
      RaiseMismatch(oid, type);
    case JetType::kBinary:
    case JetType::kOle: return Variant::FromText(Hex(bytes));
    case JetType::kText:
    case JetType::kMemo:
    case JetType::kDateTimeExtended:
      if (read.kind == Read::Kind::kText) return Variant::FromText(read.text);
      if (read.kind == Read::Kind::kBytes) return Variant::FromText(Hex(bytes));
      RaiseMismatch(oid, type);
  }
  return Variant::Null();
}

}  // namespace qorvel::pg
