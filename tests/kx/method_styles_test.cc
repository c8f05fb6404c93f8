// RunMethod: every kind of failure becomes the method's error result with
// its box, even when the box fails. (Each method's error result and the box
// once per method and object are checked through the lookups and formatters.)
#include "kx/method_styles.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "support/fakes.h"

namespace qorvel::kx {
namespace {

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
    const Currency result = RunMethod<Currency>(env, flags, kCreditAmount, body);
    EXPECT_EQ(result, Currency::FromRaw(-100));
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_EQ(env.boxes[0].prompt.rfind(u"CreditAmount\r\n", 0), 0u);
  }
}

// The error-text style: the error result and no box (the addresses cannot
// fail through the interface: their ZIP part shows the ZIP's own error text).
TEST(RunMethod, TheAddressesGiveTheErrorTextWithoutABox) {
  RecordingEnv env;
  bool flags[kErrorShownFlags] = {};
  for (const Method method : {kFormatAddress, kFormatAddress2}) {
    EXPECT_EQ(RunMethod<Text>(env, flags, method, []() -> Text { RaiseOverflow(); }), u"Error in QORVEL.DLL");
  }
  EXPECT_TRUE(env.boxes.empty());
}

TEST(RunMethod, AFailingBoxStillGivesTheErrorResult) {
  class ThrowingEnv : public Env {
   public:
    void ShowMessageBox(const Text&, Long, const std::optional<Text>&) override {
      throw std::runtime_error("no display");
    }
    std::unique_ptr<Connection> CreateConnection() override { return nullptr; }
    std::unique_ptr<Recordset> CreateRecordset() override { return nullptr; }
    DateTime Now() override { return DateTime(); }
  } env;
  bool flags[kErrorShownFlags] = {};
  EXPECT_EQ(RunMethod<Text>(env, flags, kLastPaymentDate, [] () -> Text { RaiseTypeMismatch(); }),
            u"Error in QORVEL.DLL");
}

}  // namespace
}  // namespace qorvel::kx
