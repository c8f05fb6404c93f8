// The user locale and the value conversions that depend on it.
//
// The formatters and lookups convert values exactly as the automation
// conversions do under the user's locale: value to text, text to date, text
// to double and to Currency, the numeric test, date patterns and the ANSI
// code page. Locale is the interface the methods call; each platform
// provides it (on Linux a table of Windows locale settings and our own
// conversion code, see posix/). The user locale is process-wide, chosen by
// the platform at start and settable by a host or a test.
#ifndef QORVEL_PLATFORM_LOCALE_H_
#define QORVEL_PLATFORM_LOCALE_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qorvel/currency.h"
#include "qorvel/date_time.h"
#include "qorvel/types.h"

namespace qorvel::platform {

// The settings of one locale, under the names the Windows locale data uses.
struct LocaleInfo {
  std::string name;            // "en-US"
  unsigned lcid = 0x0409;
  Text short_date;             // LOCALE_SSHORTDATE, e.g. u"M/d/yyyy"
  Text long_time;              // LOCALE_STIMEFORMAT, e.g. u"h:mm:ss tt"
  Text date_separator;         // LOCALE_SDATE
  Text time_separator;         // LOCALE_STIME
  Text decimal;                // LOCALE_SDECIMAL
  Text thousands;              // LOCALE_STHOUSAND
  Text am;                     // LOCALE_S1159
  Text pm;                     // LOCALE_S2359
  Text negative_sign;          // LOCALE_SNEGATIVESIGN
  Text positive_sign;          // LOCALE_SPOSITIVESIGN (often empty: '+')
  Text currency;               // LOCALE_SCURRENCY
  Text money_decimal;          // LOCALE_SMONDECIMALSEP
  Text money_thousands;        // LOCALE_SMONTHOUSANDSEP
  int date_order = 0;          // LOCALE_IDATE: 0 month-day-year, 1 day-month-year, 2 year-month-day
  unsigned code_page = 1252;   // the ANSI code page
};

// The conversions of one user locale. Every conversion that fails raises
// an AutomationError: 13 (Type mismatch) for a text that is not a value of
// the type, 6 (Overflow) for a value beyond the type's range. Implementations
// are immutable and safe to use from several threads at once.
class Locale {
 public:
  virtual ~Locale() = default;

  virtual const LocaleInfo& info() const = 0;

  // Text to date: the locale's day/month order, the swap to the other order
  // when the first reading is impossible, times with and without AM/PM, ISO
  // yyyy-mm-dd, English month names. Raises 13 for anything else.
  virtual DateTime TextToDate(TextView text) const = 0;
  // Date to text: the short date, then a blank and the long time when the
  // time of day is not midnight; a value with no date part gives the time
  // alone. Raises 6 outside the date range.
  virtual Text DateToText(DateTime value) const = 0;

  // Numbers to text: plain decimal text with the locale's decimal separator
  // and no thousands separators (15 significant digits for a double,
  // exponent form such as "1E+20" beyond that range; exact for Currency,
  // without trailing zeros). A double that is not finite raises 6.
  virtual Text DoubleToText(double value) const = 0;
  virtual Text CurrencyToText(Currency value) const = 0;

  // Text to number under the locale's separators, signs and currency
  // symbol. Currency reads the decimal text exactly and rounds half to
  // even at the fourth decimal. Both raise 13 for a text that is not a number,
  // 6 for a number beyond the type's range.
  virtual double TextToDouble(TextView text) const = 0;
  virtual Currency TextToCurrency(TextView text) const = 0;

  // The numeric test: apart from blanks around it, the text is one number
  // of the locale (optional sign, digits, thousands separators, at most one
  // decimal separator, optional exponent). Never raises.
  virtual bool IsNumeric(TextView text) const = 0;

  // A date rendered with a pattern of d/dd (day), M/MM (month; m/mm are
  // the minute after an hour or before a second, else the month), yy/yyyy,
  // h/hh (24-hour unless the pattern has AM/PM, A/P or AMPM), n/nn, s/ss,
  // ddd/dddd and MMM/MMMM (names), ddddd (short date), w, ww, q, y (day of
  // the year), "/" and ":" standing for the locale's date and time
  // separators, "\x" and "quoted" literals; any other character as it is.
  // Raises 6 outside the date range.
  virtual Text FormatDate(DateTime value, TextView pattern) const = 0;

  // The character's code in the ANSI code page: 0-255 for a single-byte
  // character, lead byte * 256 + trail byte for a double-byte one (callers
  // read it as a signed 16-bit number). A character the code page cannot
  // represent gets 63, the code of '?'. Code page 932 is supported besides
  // the default 1252; any other code page number is read as 1252.
  virtual int AnsiCode(char16_t ch) const = 0;
};

// The process's user locale. Chosen on first use by the platform
// (PlatformDefaultLocale) unless a host or test set one before. Fast: one
// atomic load after the first call.
const Locale& UserLocale();

// Sets the user locale for the whole process. The library keeps every
// locale it was given alive until exit, so a reference obtained from
// UserLocale() before the change stays valid. A null locale goes back to
// the platform's choice.
void SetUserLocale(std::shared_ptr<const Locale> locale);

// The platform's own choice of the user locale: on POSIX systems the one
// the process environment names (posix/environment_locale.h), on Windows
// the user's default locale. Never null.
std::shared_ptr<const Locale> PlatformDefaultLocale();

// The locale table: a locale by name ("en-US", "de-DE", also "de_DE" and
// "de_DE.UTF-8"), or null when the table has no such locale.
std::shared_ptr<const Locale> FindLocale(std::string_view name);

// The names in the locale table, in table order.
const std::vector<std::string>& LocaleNames();

// A locale built from explicit settings, with the platform's conversions
// (used by tests that check the conversion logic against recorded vectors).
std::shared_ptr<const Locale> MakeLocale(LocaleInfo info);

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_LOCALE_H_
