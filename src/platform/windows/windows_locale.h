// The Windows adapter of the user locale: the system's own automation
// conversions (oleaut32) and locale data under one locale identifier.
//
// WindowsLocale is what FindLocale, MakeLocale and PlatformDefaultLocale
// return on Windows. It holds the identifier and the settings read when it
// was made; the conversions themselves are the system's, so a locale made
// on LOCALE_USER_DEFAULT follows the user's settings as they are at each
// call. Safe to use from several threads at once.
#ifndef QORVEL_PLATFORM_WINDOWS_WINDOWS_LOCALE_H_
#define QORVEL_PLATFORM_WINDOWS_WINDOWS_LOCALE_H_

#include <windows.h>

#include <memory>

#include "platform/locale.h"

namespace qorvel::platform {

namespace windows {

class WindowsLocale final : public Locale {
 public:
  // Conversions under `lcid`; `info` is what info() reports and what the
  // numeric test reads its separators and signs from.
  WindowsLocale(LCID lcid, LocaleInfo info);

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
  LCID lcid_;
  LocaleInfo info_;
};

// The settings of `lcid` as the system's locale data gives them; the code
// page is the locale's own ANSI code page.
LocaleInfo ReadLocaleInfo(LCID lcid);

}  // namespace windows
}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_WINDOWS_WINDOWS_LOCALE_H_
