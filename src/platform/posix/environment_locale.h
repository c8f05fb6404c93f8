// The user locale a POSIX program finds in its environment: the locale
// categories' variables read as the C library reads them, each mapped to a
// locale of the table.
#ifndef QORVEL_PLATFORM_POSIX_ENVIRONMENT_LOCALE_H_
#define QORVEL_PLATFORM_POSIX_ENVIRONMENT_LOCALE_H_

#include <functional>
#include <memory>

#include "platform/locale.h"

namespace qorvel::platform {

// Reads one environment variable; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* variable)>;

// The locale a Linux program would use under the given environment: the
// date and time settings from LC_ALL, else LC_TIME, else LANG; the number
// and currency settings from LC_ALL, else LC_NUMERIC, else LANG; the ANSI
// code page from LC_ALL, else LC_CTYPE, else LANG (empty values count as
// unset). A value such as "de_DE.UTF-8", "de_DE" or "de-DE" names a table
// locale; "C" and "POSIX" are en-US; an unknown territory falls back to the
// table's first locale of the same language, anything else to en-US.
std::shared_ptr<const Locale> EnvironmentLocale(const EnvironmentLookup& lookup);

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_POSIX_ENVIRONMENT_LOCALE_H_
