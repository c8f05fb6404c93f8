// The shipped locale table: what the locales print whose short dates are the
// desktop platform's rather than the recorded ones, and lookup by name. (The
// settings are checked against the recorded ones in oracle_test.cc, and the
// conversions of the recorded settings by the vectors.)
#include <string>

#include <gtest/gtest.h>

#include "platform/locale.h"

namespace qorvel::platform {
namespace {

TEST(LocaleTable, PrintsThePlatformShortDates) {
  const std::pair<const char*, const char16_t*> cases[] = {
      {"de-DE", u"08.08.2011 10:15:00"}, {"it-IT", u"08/08/2011 10:15:00"}, {"ja-JP", u"2011/08/08 10:15:00"}};
  for (const auto& [name, printed] : cases) {
    EXPECT_EQ(FindLocale(name)->DateToText(*DateTime::FromParts(2011, 8, 8, 10, 15)), printed) << name;
  }
}

TEST(LocaleTable, FindsLocalesByAnyFormOfTheirName) {
  EXPECT_EQ(LocaleNames().size(), 8u);
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
