// The conversions of a locale computed from its Windows settings: how the
// automation reads and writes dates and numbers under a user locale, done
// by our own code on Linux. Dates are read by date_reading.h and written by
// date_writing.h; the ANSI code of a character is ansi_code_pages.h's.
//
// Reading a number: blanks around it, a sign at either end or parentheses,
// the currency symbol before or after, thousands separators anywhere after
// the first digit (a plain blank stands for a non-breaking one), one decimal
// separator, an exponent. A double is composed from its digits and a power
// of ten; a Currency is read exactly and rounded half to even at the fourth
// decimal (the scanner is platform/number_text.h's).
//
// Writing a number: doubles with 15 significant digits, Currency exactly.
#include "platform/posix/table_locale.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "platform/number_text.h"
#include "platform/posix/ansi_code_pages.h"
#include "platform/posix/date_reading.h"
#include "platform/posix/date_writing.h"
#include "qorvel/automation_error.h"

namespace qorvel::platform {
namespace {

TextView SignText(const LocaleInfo& info) { return info.negative_sign.empty() ? TextView(u"-") : info.negative_sign; }

}  // namespace

TableLocale::TableLocale(LocaleInfo info) : info_(std::move(info)), names_(NamesForLocale(info_.name)) {}

DateTime TableLocale::TextToDate(TextView text) const { return ReadDate(info_, names_, text); }

Text TableLocale::DateToText(DateTime value) const { return WriteDate(value, info_, names_); }

Text TableLocale::DoubleToText(double value) const {
  if (!std::isfinite(value)) RaiseOverflow();
  if (value == 0.0) return u"0";
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  // The exponent form keeps its '.', as the automation writes it.
  const bool exponent_form = std::find(buf, result.ptr, 'e') != result.ptr;
  Text out;
  for (const char* p = buf; p != result.ptr; ++p) {
    if (*p == '.' && !exponent_form) out += info_.decimal;
    else if (*p == '-' && p == buf) out += SignText(info_);
    else out += static_cast<char16_t>(*p == 'e' ? 'E' : *p);
  }
  return out;
}

Text TableLocale::CurrencyToText(Currency value) const {
  const std::int64_t raw = value.raw();
  const std::uint64_t magnitude = raw < 0 ? static_cast<std::uint64_t>(0) - static_cast<std::uint64_t>(raw)
                                          : static_cast<std::uint64_t>(raw);
  Text out;
  if (raw < 0) out += SignText(info_);
  char buf[24];
  const auto whole = std::to_chars(buf, buf + sizeof buf, magnitude / 10000);
  for (const char* p = buf; p != whole.ptr; ++p) out += static_cast<char16_t>(*p);
  unsigned fraction = static_cast<unsigned>(magnitude % 10000);
  if (fraction != 0) {
    out += info_.decimal;
    for (unsigned scale = 1000; fraction != 0; scale /= 10) {
      out += static_cast<char16_t>(u'0' + fraction / scale);
      fraction %= scale;
    }
  }
  return out;
}

double TableLocale::TextToDouble(TextView text) const {
  const std::optional<ScannedNumber> number = ScanNumber(info_, text, NumberSyntax::kConversion);
  if (!number) RaiseTypeMismatch();
  const double value = ComposeDouble(*number);
  if (!std::isfinite(value)) RaiseOverflow();
  return value;
}

Currency TableLocale::TextToCurrency(TextView text) const {
  const std::optional<ScannedNumber> number = ScanNumber(info_, text, NumberSyntax::kConversion);
  if (!number) RaiseTypeMismatch();
  return ComposeCurrency(*number);
}

bool TableLocale::IsNumeric(TextView text) const { return IsNumericText(info_, text); }

Text TableLocale::FormatDate(DateTime value, TextView pattern) const {
  return FormatDatePattern(value, pattern, info_, names_);
}

int TableLocale::AnsiCode(char16_t ch) const {
  return info_.code_page == 932 ? Cp932Code(ch) : Cp1252Code(ch);
}

std::shared_ptr<const Locale> MakeLocale(LocaleInfo info) {
  return std::make_shared<const TableLocale>(std::move(info));
}

}  // namespace qorvel::platform