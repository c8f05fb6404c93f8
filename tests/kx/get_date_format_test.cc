// GetDateFormat: the pattern of every locale of the table, and the date
// format box when the probe fails. (Late bound, the probe is a row of
// tests/cases/calls.tsv.)
#include <gtest/gtest.h>

#include "qorvel/kx.h"
#include "support/fakes.h"

namespace qorvel {
namespace {

using testing::LocaleScope;
using testing::RecordingEnv;

TEST(GetDateFormat, PatternOfEachLocale) {
  const std::pair<const char*, const char16_t*> cases[] = {
      {"en-US", u"MM/dd/yyyy"}, {"sv-SE", u"MM/dd/yyyy"}, {"ja-JP", u"MM/dd/yyyy"}, {"en-GB", u"dd/MM/yyyy"},
      {"de-DE", u"dd/MM/yyyy"}, {"fr-FR", u"dd/MM/yyyy"}, {"nl-NL", u"dd/MM/yyyy"}, {"it-IT", u"dd/MM/yyyy"},
  };
  for (const auto& [locale, pattern] : cases) {
    LocaleScope scope(locale);
    RecordingEnv env;
    EXPECT_EQ(KX(&env).GetDateFormat(), pattern) << locale;
    EXPECT_TRUE(env.boxes.empty());
  }
}

TEST(GetDateFormat, ProbeFailureShowsItsBoxOncePerObject) {
  // A locale that cannot read dates: every probe fails.
  LocaleScope scope(std::make_shared<testing::FaultyLocale>("en-GB", testing::Faults{.dates_fail = true}));
  RecordingEnv env;
  KX first(&env);
  EXPECT_EQ(first.GetDateFormat(), u"MM/dd/yyyy");
  EXPECT_EQ(first.GetDateFormat(), u"MM/dd/yyyy");
  ASSERT_EQ(env.boxes.size(), 1u);
  EXPECT_EQ(env.boxes[0].prompt,
            u"Error Determining Date Format - Defaulting to 'MM/dd/yyyy'.\r\nError Message - Type mismatch");
  EXPECT_TRUE(first.ErrorShown(23));
  EXPECT_EQ(KX(&env).GetDateFormat(), u"MM/dd/yyyy");  // a fresh object shows the box again
  EXPECT_EQ(env.boxes.size(), 2u);
}

}  // namespace
}  // namespace qorvel
