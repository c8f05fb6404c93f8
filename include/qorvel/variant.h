// Variant: one automation value of any of the types the library meets, or
// Empty or Null. Database fields arrive as Variants (Null for a missing
// value), and late-bound callers pass their arguments as Variants.
//
// A Variant only holds a value; converting one type to another under the
// user locale (the automation coercion rules) is done by the library's
// conversion layer, not here.
#ifndef QORVEL_VARIANT_H_
#define QORVEL_VARIANT_H_

#include <cstdint>
#include <string>

#include "qorvel/currency.h"
#include "qorvel/date_time.h"
#include "qorvel/export.h"
#include "qorvel/types.h"

namespace qorvel {

// The automation variant types, numbered as the automation numbers them.
enum class VarType : std::uint16_t {
  kEmpty = 0,
  kNull = 1,
  kInteger = 2,   // 16-bit signed
  kLong = 3,      // 32-bit signed
  kSingle = 4,    // float
  kDouble = 5,
  kCurrency = 6,
  kDate = 7,
  kText = 8,
  kBoolean = 11,
  kDecimal = 14,  // exact scaled decimal (database Numeric columns)
  kByte = 17,
};

// The name of a type as the library prints it ("Text", "Long", "Currency",
// "DateTime", ...).
QORVEL_API const char* VarTypeName(VarType type);

// An exact decimal number: (-1)^negative * (hi * 2^64 + lo) / 10^scale,
// scale 0 to 28, as the automation's decimal type holds it.
struct QORVEL_API Decimal {
  std::uint8_t scale = 0;
  bool negative = false;
  std::uint32_t hi = 0;
  std::uint64_t lo = 0;

  // Plain decimal digits with '.' as the point, trailing fractional zeros
  // removed ("-12.5", "0").
  std::string ToString() const;
  double ToDouble() const;
  friend bool operator==(const Decimal&, const Decimal&) = default;
};

class QORVEL_API Variant {
 public:
  Variant() = default;  // Empty

  static Variant Null();
  static Variant FromInteger(Integer value);
  static Variant FromLong(Long value);
  static Variant FromSingle(float value);
  static Variant FromDouble(double value);
  static Variant FromCurrency(Currency value);
  static Variant FromDate(DateTime value);
  static Variant FromText(Text value);
  static Variant FromBoolean(bool value);
  static Variant FromByte(std::uint8_t value);
  static Variant FromDecimal(Decimal value);

  VarType type() const { return type_; }
  bool IsEmpty() const { return type_ == VarType::kEmpty; }
  bool IsNull() const { return type_ == VarType::kNull; }

  // Accessors. Precondition: type() is the accessor's type.
  Integer AsInteger() const { return static_cast<Integer>(i64_); }
  Long AsLong() const { return static_cast<Long>(i64_); }
  float AsSingle() const { return static_cast<float>(f64_); }
  double AsDouble() const { return f64_; }
  Currency AsCurrency() const { return Currency::FromRaw(i64_); }
  DateTime AsDate() const { return DateTime(f64_); }
  const Text& AsText() const { return text_; }
  bool AsBoolean() const { return i64_ != 0; }
  std::uint8_t AsByte() const { return static_cast<std::uint8_t>(i64_); }
  const Decimal& AsDecimal() const { return decimal_; }

  // Same type and same value (Texts compared code unit by code unit).
  friend QORVEL_API bool operator==(const Variant& a, const Variant& b);

 private:
  Variant(VarType type, std::int64_t i64, double f64) : type_(type), i64_(i64), f64_(f64) {}

  VarType type_ = VarType::kEmpty;
  std::int64_t i64_ = 0;  // Integer, Long, Currency (raw), Boolean, Byte
  double f64_ = 0.0;      // Single, Double, Date
  Text text_;
  Decimal decimal_;
};

}  // namespace qorvel

#endif  // QORVEL_VARIANT_H_
