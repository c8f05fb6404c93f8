// Reading a date under a locale, by our own code on Linux: how the
// automation turns text into a date.
//
// The text is cut into numbers, month and weekday names, date and time
// separators and AM/PM markers; numbers joined by time separators are the
// time, the others the date. Three date numbers are tried in the locale's
// order, then in the other day/month order, then in the remaining orders,
// and the first reading whose month is 1-12 and whose day is 1-31 is taken
// (so 03/31/2010 is 31 March in a day-first locale); the day must then
// exist in its month. Years below 30 are 2000-2029, years 30-99 are
// 1930-1999.
#ifndef QORVEL_PLATFORM_POSIX_DATE_READING_H_
#define QORVEL_PLATFORM_POSIX_DATE_READING_H_

#include "platform/locale.h"
#include "platform/posix/calendar_names.h"
#include "qorvel/date_time.h"
#include "qorvel/types.h"

namespace qorvel::platform {

// The date that `text` gives under the locale's settings `info` and the
// names of its language. Raises type mismatch when the text is no date.
DateTime ReadDate(const LocaleInfo& info, const CalendarNames& names, TextView text);

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_POSIX_DATE_READING_H_
