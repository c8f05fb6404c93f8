// The POSIX adapter of the user locale: conversions computed by our own code
// from a locale's Windows settings (a LocaleInfo) and the calendar names of
// its language (calendar_names.h).
//
// TableLocale is what FindLocale and MakeLocale return on Linux. It is
// immutable after construction, so one object can serve every thread.
#ifndef QORVEL_PLATFORM_POSIX_TABLE_LOCALE_H_
#define QORVEL_PLATFORM_POSIX_TABLE_LOCALE_H_

#include "platform/locale.h"
#include "platform/posix/calendar_names.h"

namespace qorvel::platform {

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
