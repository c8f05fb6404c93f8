// Writing a date under a locale, by our own code on Linux: the text the
// automation gives a date, and dates formatted with a pattern.
//
// A date is written with the locale's short date picture, its time of day
// (when it has one, or when it has no date) with the long time picture.
// Patterns are those of the automation's date formatting (FormatDatePattern).
#ifndef QORVEL_PLATFORM_POSIX_DATE_WRITING_H_
#define QORVEL_PLATFORM_POSIX_DATE_WRITING_H_

#include "platform/locale.h"
#include "platform/posix/calendar_names.h"
#include "qorvel/date_time.h"
#include "qorvel/types.h"

namespace qorvel::platform {

// `value` as text under the locale's settings `info` and the names of its
// language (Locale::DateToText). Raises overflow for an invalid date.
Text WriteDate(DateTime value, const LocaleInfo& info, const CalendarNames& names);

// `value` written with `pattern` (Locale::FormatDate), the automation's
// date format: d dd (day), ddd dddd (weekday name), ddddd (short date),
// m mm (month, or minute after an hour or before a second), mmm mmmm
// (month name), y (day of year), yy yyyy, h hh, n nn, s ss, w (weekday),
// ww (week of year), q (quarter), / and : (the locale's separators),
// AM/PM, A/P and AMPM (a 12-hour clock), "quoted" and \-escaped text;
// other characters as they are. Raises overflow for an invalid date.
Text FormatDatePattern(DateTime value, TextView pattern, const LocaleInfo& info, const CalendarNames& names);

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_POSIX_DATE_WRITING_H_
