// The POSIX adapter of the user locale: conversions computed by our own code
// from a locale's Windows settings (a LocaleInfo), and the calendar names
// of the languages the locale table covers.
//
// TableLocale is what FindLocale and MakeLocale return on Linux. It is
// immutable after construction, so one object can serve every thread.
#ifndef QORVEL_PLATFORM_POSIX_TABLE_LOCALE_H_
#define QORVEL_PLATFORM_POSIX_TABLE_LOCALE_H_

#include <array>
#include <string_view>

#include "platform/locale.h"

namespace qorvel::platform {

// Month and weekday names of one language, as the Windows locale data
// spells them (abbreviations without a trailing full stop).
struct CalendarNames {
  std::string_view language;                   // "en", "de", ...
  std::array<TextView, 12> months;             // January first
  std::array<TextView, 12> short_months;
  std::array<TextView, 7> days;                // Sunday first
  std::array<TextView, 7> short_days;
};

// The names of the language that a locale name starts with ("de" for
// "de-DE" or "de_AT"); English for a language the table does not know.
const CalendarNames& NamesForLocale(std::string_view locale_name);

class TableLocale final : public Locale {
 public:
  explicit TableLocale(LocaleInfo info);

  const LocaleInfo& info() const override { return info_; }

  DateTime TextToDate(TextView text) const override;
  Text DateToText(DateTime value) const override;
  Text DoubleToText(double value) const override;
  Text CurrencyToText(Currency value) const override;
  double TextToDouble(TextView text) const override;
  Currency TextToCurrency(TextView text) const override;
  bool IsNumeric(TextView text) const override;
  Text FormatDate(DateTime value, TextView pattern) const override;
  int AnsiCode(char16_t ch) const override;

 private:
  LocaleInfo info_;
  const CalendarNames& names_;
};

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_POSIX_TABLE_LOCALE_H_
