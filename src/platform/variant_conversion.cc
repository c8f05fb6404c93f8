// Variant conversions under the user locale.
#include "platform/variant_conversion.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "base/text_ops.h"
#include "platform/number_text.h"
#include "qorvel/automation_error.h"

namespace qorvel::platform {
namespace {

Text Ascii(const std::string& s) { return Text(s.begin(), s.end()); }

// The value as a double, for the numeric conversions.
double ToDouble(const Variant& value, const Locale& locale) {
  switch (value.type()) {
    case VarType::kEmpty: return 0.0;
    case VarType::kInteger: return value.AsInteger();
    case VarType::kLong: return value.AsLong();
    case VarType::kByte: return value.AsByte();
    case VarType::kBoolean: return value.AsBoolean() ? -1.0 : 0.0;
    case VarType::kSingle: return value.AsSingle();
    case VarType::kDouble: return value.AsDouble();
    case VarType::kCurrency: return value.AsCurrency().ToDouble();
    case VarType::kDate: return value.AsDate().value();
    case VarType::kDecimal: return value.AsDecimal().ToDouble();
    case VarType::kText: return locale.TextToDouble(value.AsText());
    case VarType::kNull: break;
  }
  RaiseTypeMismatch();
}

// `bits` (16 or 32) is the width of the whole number type [min, max].
long long ToWhole(const Variant& value, const Locale& locale, int bits, long long min, long long max) {
  long long whole = 0;
  if (value.type() == VarType::kText && value.AsText().find(u'&') != Text::npos) {
    // "&HFFFF" is the Integer -1: a base 16 or 8 text fills the type's bits.
    const std::optional<ScannedNumber> number =
        ScanNumber(locale.info(), value.AsText(), NumberSyntax::kConversion);
    if (number && number->radix != 10) return WrapRadix(*number, bits);
  }
  if (value.type() == VarType::kCurrency) {
    whole = value.AsCurrency().ToLong();  // exact, raises beyond the Long range
  } else {
    const double rounded = RoundHalfEven(ToDouble(value, locale));
    if (!(rounded >= static_cast<double>(min) && rounded <= static_cast<double>(max))) {
      RaiseOverflow();
    }
    whole = static_cast<long long>(rounded);
  }
  if (whole < min || whole > max) RaiseOverflow();
  return whole;
}

// Text reads as a Boolean when it is exactly "True" or "False" in any case,
// or "#TRUE#" or "#FALSE#" in capitals (no blanks around either), else as
// a number, true when not zero.
bool ToBool(const Variant& value, const Locale& locale) {
  if (value.type() == VarType::kText) {
    const Text& text = value.AsText();
    if (EqualsIgnoringAsciiCase(text, u"True") || text == u"#TRUE#") return true;
    if (EqualsIgnoringAsciiCase(text, u"False") || text == u"#FALSE#") return false;
  }
  if (value.type() == VarType::kCurrency) return value.AsCurrency().raw() != 0;
  return ToDouble(value, locale) != 0.0;
}

}  // namespace

Text VariantToText(const Variant& value, const Locale& locale) {
  switch (value.type()) {
    case VarType::kEmpty: return Text();
    case VarType::kText: return value.AsText();
    case VarType::kInteger: return DecimalText(value.AsInteger());
    case VarType::kLong: return DecimalText(value.AsLong());
    case VarType::kByte: return DecimalText(value.AsByte());
    case VarType::kBoolean: return value.AsBoolean() ? u"True" : u"False";
    case VarType::kDouble: return locale.DoubleToText(value.AsDouble());
    case VarType::kSingle: {
      // A Single prints with its own seven significant digits.
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(value.AsSingle()));
      return locale.DoubleToText(std::strtod(buf, nullptr));
    }
    case VarType::kCurrency: return locale.CurrencyToText(value.AsCurrency());
    case VarType::kDate: return locale.DateToText(value.AsDate());
    case VarType::kDecimal: {
      Text text = Ascii(value.AsDecimal().ToString());
      const std::size_t point = text.find(u'.');
      if (point != Text::npos) text.replace(point, 1, locale.info().decimal);
      return text;
    }
    case VarType::kNull: break;
  }
  RaiseTypeMismatch();
}

Variant ChangeType(const Variant& value, VarType type, const Locale& locale) {
  if (value.type() == type) return value;
  if (value.IsNull()) RaiseTypeMismatch();
  switch (type) {
    case VarType::kText:
      return Variant::FromText(VariantToText(value, locale));
    case VarType::kInteger:
      return Variant::FromInteger(static_cast<Integer>(ToWhole(
          value, locale, 16, std::numeric_limits<Integer>::min(), std::numeric_limits<Integer>::max())));
    case VarType::kLong:
      return Variant::FromLong(static_cast<Long>(
          ToWhole(value, locale, 32, std::numeric_limits<Long>::min(), std::numeric_limits<Long>::max())));
    case VarType::kBoolean:
      return Variant::FromBoolean(ToBool(value, locale));
    case VarType::kDouble:
      return Variant::FromDouble(ToDouble(value, locale));
    case VarType::kCurrency:
      if (value.type() == VarType::kText) {
        return Variant::FromCurrency(locale.TextToCurrency(value.AsText()));
      }
      return Variant::FromCurrency(Currency::FromDouble(ToDouble(value, locale)));
    case VarType::kDate: {
      if (value.type() == VarType::kText) return Variant::FromDate(locale.TextToDate(value.AsText()));
      const DateTime date(ToDouble(value, locale));
      if (!date.IsValid()) RaiseOverflow();
      return Variant::FromDate(date);
    }
    default:
      break;
  }
  RaiseTypeMismatch();
}

}  // namespace qorvel::platform
