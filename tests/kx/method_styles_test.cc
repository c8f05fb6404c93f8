// RunMethod: every kind of failure becomes the method's error result with
// its box, even when the box fails. (Each method's error result and the box
// once per method and object are checked through the lookups and formatters.)
// GetDateFormat: the pattern of every locale of the table, and the date
// format box when the probe fails.
#include "kx/method_styles.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "qorvel/kx.h"
#include "support/fakes.h"

namespace qorvel::kx {
namespace {

using testing::LocaleScope;
using testing::RecordingEnv;

TEST(RunMethod, EveryKindOfFailureBecomesTheErrorResult) {
  const std::function<Currency()> bodies[] = {
      [] () -> Currency { throw AutomationError(-1, u"database"); },
      [] () -> Currency { throw std::runtime_error("internal"); },
      [] () -> Currency { throw std::bad_alloc(); },
      [] () -> Currency { throw 42; },
      [] () -> Currency { RaiseOverflow(); },
  };
  for (const auto& body : bodies) {
    RecordingEnv env;
    bool flags[kErrorShownFlags] = {};
    EXPECT_EQ(RunMethod<Currency>(env, flags, kCreditAmount, body), Currency::FromRaw(-100));
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_EQ(env.boxes[0].prompt.rfind(u"CreditAmount\r\n", 0), 0u);
  }
  // A box that fails gives the error result all the same.
  class ThrowingEnv : public Env {
   public:
    void ShowMessageBox(const Text&, Long, const std::optional<Text>&) override {
      throw std::runtime_error("no display");
    }
    std::unique_ptr<Connection> CreateConnection() override { return nullptr; }
    std::unique_ptr<Recordset> CreateRecordset() override { return nullptr; }
    DateTime Now() override { return DateTime(); }
  } failing;
  bool flags[kErrorShownFlags] = {};
  EXPECT_EQ(RunMethod<Text>(failing, flags, kLastPaymentDate, [] () -> Text { RaiseTypeMismatch(); }),
            u"Error in QORVEL.DLL");
}

// The pattern follows the locale's order of day and month; a year-first
// locale gives the month-first pattern.
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
}  // namespace qorvel::kx
