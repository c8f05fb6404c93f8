// Variant construction, comparison, and the Decimal helpers.
#include "qorvel/variant.h"

#include <algorithm>
#include <utility>

namespace qorvel {

const char* VarTypeName(VarType type) {
  switch (type) {
    case VarType::kEmpty: return "Empty";
    case VarType::kNull: return "Null";
    case VarType::kInteger: return "Integer";
    case VarType::kLong: return "Long";
    case VarType::kSingle: return "Single";
    case VarType::kDouble: return "Double";
    case VarType::kCurrency: return "Currency";
    case VarType::kDate: return "DateTime";
    case VarType::kText: return "Text";
    case VarType::kBoolean: return "Boolean";
    case VarType::kDecimal: return "Decimal";
    case VarType::kByte: return "Byte";
  }
  return "Unknown";
}

std::string Decimal::ToString() const {
  // Repeated division of the 96-bit magnitude by 10, in 32-bit limbs.
  std::uint32_t limbs[3] = {hi, static_cast<std::uint32_t>(lo >> 32), static_cast<std::uint32_t>(lo)};
  std::string digits;
  while (limbs[0] != 0 || limbs[1] != 0 || limbs[2] != 0) {
    std::uint64_t rem = 0;
    for (auto& limb : limbs) {
      const std::uint64_t cur = (rem << 32) | limb;
      limb = static_cast<std::uint32_t>(cur / 10);
      rem = cur % 10;
    }
    digits.push_back(static_cast<char>('0' + rem));
  }
  while (digits.size() <= scale) digits.push_back('0');
  std::reverse(digits.begin(), digits.end());
  std::string whole = digits.substr(0, digits.size() - scale);
  std::string frac = digits.substr(digits.size() - scale);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  std::string out = whole;
  if (!frac.empty()) out += "." + frac;
  if (negative && out != "0") out = std::string("-") + out;
  return out;
}

double Decimal::ToDouble() const {
  double v = static_cast<double>(hi) * 18446744073709551616.0 + static_cast<double>(lo);
  for (int i = 0; i < scale; ++i) v /= 10.0;
  return negative ? -v : v;
}

Variant Variant::Null() { return Variant(VarType::kNull, 0, 0.0); }
Variant Variant::FromInteger(Integer value) { return Variant(VarType::kInteger, value, 0.0); }
Variant Variant::FromLong(Long value) { return Variant(VarType::kLong, value, 0.0); }
Variant Variant::FromSingle(float value) { return Variant(VarType::kSingle, 0, value); }
Variant Variant::FromDouble(double value) { return Variant(VarType::kDouble, 0, value); }
Variant Variant::FromCurrency(Currency value) { return Variant(VarType::kCurrency, value.raw(), 0.0); }
Variant Variant::FromDate(DateTime value) { return Variant(VarType::kDate, 0, value.value()); }
Variant Variant::FromBoolean(bool value) { return Variant(VarType::kBoolean, value ? -1 : 0, 0.0); }
Variant Variant::FromByte(std::uint8_t value) { return Variant(VarType::kByte, value, 0.0); }

Variant Variant::FromText(Text value) {
  Variant v(VarType::kText, 0, 0.0);
  v.text_ = std::move(value);
  return v;
}

Variant Variant::FromDecimal(Decimal value) {
  Variant v(VarType::kDecimal, 0, 0.0);
  v.decimal_ = value;
  return v;
}

bool operator==(const Variant& a, const Variant& b) {
  return a.type_ == b.type_ && a.i64_ == b.i64_ && a.f64_ == b.f64_ && a.text_ == b.text_ &&
         a.decimal_ == b.decimal_;
}

}  // namespace qorvel
