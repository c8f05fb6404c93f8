// The choice of the user locale from the environment, and setting the
// process-wide user locale while other threads use it.
#include <atomic>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/locale.h"
#include "platform/posix/environment_locale.h"

namespace qorvel::platform {
namespace {

using Environment = std::map<std::string, std::string>;

std::shared_ptr<const Locale> Choose(const Environment& env) {
  return EnvironmentLocale([&](const char* variable) -> const char* {
    const auto it = env.find(variable);
    return it == env.end() ? nullptr : it->second.c_str();
  });
}

TEST(EnvironmentLocale, FollowsThePosixPrecedence) {
  const struct {
    Environment env;
    const char* table_locale;  // the whole locale is this table entry
  } kCases[] = {
      {{}, "en-US"},
      {{{"LANG", "de_DE.UTF-8"}}, "de-DE"},
      {{{"LANG", "C"}}, "en-US"},
      {{{"LANG", "C.UTF-8"}}, "en-US"},
      {{{"LANG", "de_AT.UTF-8"}}, "de-DE"},  // same language
      {{{"LANG", "xx_YY.UTF-8"}}, "en-US"},
      {{{"LC_ALL", "fr_FR.UTF-8"}, {"LANG", "de_DE.UTF-8"}}, "fr-FR"},
      {{{"LC_ALL", ""}, {"LANG", "sv_SE.UTF-8"}}, "sv-SE"},  // empty is unset
      {{{"LC_ALL", "it_IT.UTF-8"}, {"LC_TIME", "en_US.UTF-8"}, {"LC_NUMERIC", "en_US.UTF-8"}}, "it-IT"},
      {{{"LC_TIME", "ja_JP.UTF-8"}, {"LC_NUMERIC", "ja_JP.UTF-8"}, {"LC_CTYPE", "ja_JP.UTF-8"}}, "ja-JP"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Choose(c.env), FindLocale(c.table_locale)) << c.table_locale;
  }
}

TEST(EnvironmentLocale, TakesEachCategoryFromItsOwnVariable) {
  const auto locale = Choose({{"LANG", "en_US.UTF-8"}, {"LC_TIME", "en_GB.UTF-8"},
                              {"LC_NUMERIC", "de_DE.UTF-8"}, {"LC_CTYPE", "ja_JP.UTF-8"}});
  const LocaleInfo& info = locale->info();
  EXPECT_EQ(info.name, "en-GB");
  EXPECT_EQ(info.currency, u"\u20AC");
  EXPECT_EQ(info.code_page, 932u);
  EXPECT_EQ(locale->TextToDouble(u"1.234,5"), 1234.5);
  EXPECT_EQ(locale->DateToText(locale->TextToDate(u"1/3/2011")), u"01/03/2011");
}

TEST(UserLocale, IsSettableAndKeepsEveryLocaleAlive) {
  const std::shared_ptr<const Locale> before = FindLocale(UserLocale().info().name);
  SetUserLocale(FindLocale("de-DE"));
  const Locale& german = UserLocale();
  EXPECT_EQ(german.info().name, "de-DE");

  LocaleInfo custom = german.info();
  custom.name = "de-DE";
  custom.short_date = u"yyyy.MM.dd";
  SetUserLocale(MakeLocale(custom));
  EXPECT_EQ(UserLocale().DateToText(*DateTime::FromParts(2010, 3, 31)), u"2010.03.31");
  // The reference taken before the change still works.
  EXPECT_EQ(german.DateToText(*DateTime::FromParts(2010, 3, 31)), u"31.03.2010");

  // Readers on other threads always see a whole locale.
  SetUserLocale(FindLocale("en-US"));
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const Text text = UserLocale().DateToText(*DateTime::FromParts(2010, 3, 31));
        if (text != u"31.03.2010" && text != u"3/31/2010") ++bad;
      }
    });
  }
  for (int i = 0; i < 2000; ++i) SetUserLocale(FindLocale(i % 2 ? "de-DE" : "en-US"));
  stop = true;
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(bad.load(), 0);

  // A null locale goes back to the environment's choice.
  SetUserLocale(nullptr);
  const auto from_environment = EnvironmentLocale([](const char* variable) { return std::getenv(variable); });
  EXPECT_EQ(UserLocale().info().name, from_environment->info().name);
  SetUserLocale(before);
}

}  // namespace
}  // namespace qorvel::platform
