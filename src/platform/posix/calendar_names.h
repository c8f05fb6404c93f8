// The month and weekday names of the languages the locale table covers
// (locale_table.cc), as the POSIX adapter reads and writes dates with them.
#ifndef QORVEL_PLATFORM_POSIX_CALENDAR_NAMES_H_
#define QORVEL_PLATFORM_POSIX_CALENDAR_NAMES_H_

#include <array>
#include <string_view>

#include "qorvel/types.h"

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

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_POSIX_CALENDAR_NAMES_H_
