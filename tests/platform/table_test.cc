// The shipped locale table: what each locale prints with the desktop
// platform's settings, and lookup by name. (The settings themselves are
// checked against the recorded ones in oracle_test.cc.)
#include <string>

#include <gtest/gtest.h>

#include "platform/locale.h"

namespace qorvel::platform {
namespace {

// What each table locale prints, and the day/month probe: the first two
// characters of 03/31/2010 read and written back.
struct Printed {
  const char* name;
  const char16_t* date;       // 31 March 2010
  const char16_t* date_time;  // 8 August 2011 10:15
  const char16_t* probe;
};
constexpr Printed kPrinted[] = {
    {"en-US", u"3/31/2010", u"8/8/2011 10:15:00 AM", u"3/"},
    {"en-GB", u"31/03/2010", u"08/08/2011 10:15:00", u"31"},
    {"de-DE", u"31.03.2010", u"08.08.2011 10:15:00", u"31"},
    {"fr-FR", u"31/03/2010", u"08/08/2011 10:15:00", u"31"},
    {"nl-NL", u"31-3-2010", u"8-8-2011 10:15:00", u"31"},
    {"it-IT", u"31/03/2010", u"08/08/2011 10:15:00", u"31"},
    {"sv-SE", u"2010-03-31", u"2011-08-08 10:15:00", u"20"},
    {"ja-JP", u"2010/03/31", u"2011/08/08 10:15:00", u"20"},
};

TEST(LocaleTable, PrintsThePlatformShortDates) {
  ASSERT_EQ(LocaleNames().size(), std::size(kPrinted));
  for (const Printed& p : kPrinted) {
    SCOPED_TRACE(p.name);
    const auto locale = FindLocale(p.name);
    ASSERT_NE(locale, nullptr);
    EXPECT_EQ(locale->DateToText(*DateTime::FromParts(2010, 3, 31)), p.date);
    EXPECT_EQ(locale->DateToText(*DateTime::FromParts(2011, 8, 8, 10, 15)), p.date_time);
    EXPECT_EQ(locale->DateToText(locale->TextToDate(u"03/31/2010")).substr(0, 2), p.probe);
  }
}

TEST(LocaleTable, FindsLocalesByAnyFormOfTheirName) {
  EXPECT_EQ(LocaleNames().front(), "en-US");
  const auto german = FindLocale("de-DE");
  ASSERT_NE(german, nullptr);
  for (const char* name : {"de_DE", "de_DE.UTF-8", "DE-de", "de_DE@euro", "de_DE.ISO-8859-15@euro"}) {
    EXPECT_EQ(FindLocale(name), german) << name;
  }
  for (const char* name : {"", "de", "xx-YY", "C"}) EXPECT_EQ(FindLocale(name), nullptr) << name;
}

}  // namespace
}  // namespace qorvel::platform
