// The error styles: exact prompts, once-only rules, and that nothing
// escapes a method's handler.
#include "kx/error_styles.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "support/fakes.h"

namespace qorvel::kx {
namespace {

using testing::RecordingEnv;

TEST(ErrorStyles, PromptsAreExact) {
  struct Case {
    const char* name;
    std::function<void(platform::Env&, bool&)> show;
    Text prompt;
    Long buttons;
    std::optional<Text> title;
  };
  const AutomationError db_error(-2147217865, u"The table 'Credit' does not exist.");
  const AutomationError empty(6, u"");
  const Case cases[] = {
      {"labelled, negative number",
       [&](platform::Env& e, bool& f) { ShowLabelledErrorBox(e, f, u"CreditAmount", db_error); },
       u"CreditAmount\r\n-2147217865\r\nThe table 'Credit' does not exist.", 0, std::nullopt},
      {"labelled, empty description ends with its CR LF",
       [&](platform::Env& e, bool& f) { ShowLabelledErrorBox(e, f, u"InvoiceFee", empty); },
       u"InvoiceFee\r\n6\r\n", 0, std::nullopt},
      {"date format box has an empty title given",
       [&](platform::Env& e, bool& f) { ShowDateFormatBox(e, f, db_error); },
       u"Error Determining Date Format - Defaulting to 'MM/dd/yyyy'.\r\nError Message - "
       u"The table 'Credit' does not exist.",
       64, Text()},
      {"date format box, empty description",
       [&](platform::Env& e, bool& f) { ShowDateFormatBox(e, f, empty); },
       u"Error Determining Date Format - Defaulting to 'MM/dd/yyyy'.\r\nError Message - ", 64,
       Text()},
      {"connection failure shows the description twice",
       [&](platform::Env& e, bool& f) { ShowConnectionFailureBox(e, f, u"C:\\db\\x.mdb", db_error); },
       u"Unable to connect to C:\\db\\x.mdb.\r\nSome report information may be missing or "
       u"incorrect.\r\nPlease restart your computer or contact support.\r\n\r\nThe table "
       u"'Credit' does not exist.\r\nThe table 'Credit' does not exist.",
       64, std::nullopt},
      {"connection failure, empty description",
       [&](platform::Env& e, bool& f) { ShowConnectionFailureBox(e, f, u"", empty); },
       u"Unable to connect to .\r\nSome report information may be missing or incorrect.\r\n"
       u"Please restart your computer or contact support.\r\n\r\n\r\n",
       64, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingEnv env;
    bool shown = false;
    c.show(env, shown);
    c.show(env, shown);  // the flag silences the second box
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_EQ(env.boxes[0].prompt, c.prompt);
    EXPECT_EQ(env.boxes[0].buttons, c.buttons);
    EXPECT_EQ(env.boxes[0].title, c.title);
    EXPECT_TRUE(shown);
  }
}

TEST(ErrorStyles, RaiseAgainKeepsTheNumberAndPrefixesTheDescription) {
  try {
    RaiseAgain(u"DecryptSSN", AutomationError(6, u"Overflow"));
    FAIL() << "no exception";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 6);
    EXPECT_EQ(e.description(), u"Error In DecryptSSN\r\nOverflow");
  }
}

TEST(ErrorStyles, SixteenMethodsHaveTheirOwnFlag) {
  std::set<int> flags;
  for (int m = 0; m < kMethodCount; ++m) {
    const MethodStyle& style = StyleOf(m);
    const bool boxed = style.style != Style::kErrorText;
    EXPECT_EQ(boxed, style.flag >= 0) << ToUtf8(style.label);
    if (boxed) flags.insert(style.flag);
  }
  EXPECT_EQ(flags.size(), static_cast<std::size_t>(kErrorShownFlags));
  EXPECT_EQ(*flags.rbegin(), kErrorShownFlags - 1);
}

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

TEST(RunMethod, BoxOncePerMethodAndObjectTextStyleNever) {
  RecordingEnv env;
  bool flags[kErrorShownFlags] = {};
  auto fail_money = [] () -> Currency { throw AutomationError(-5, u"x"); };
  auto fail_text = [] () -> Text { throw AutomationError(-5, u"x"); };
  EXPECT_EQ(RunMethod<Currency>(env, flags, kCreditAmount, fail_money), Currency::FromRaw(-100));
  EXPECT_EQ(RunMethod<Currency>(env, flags, kCreditAmount, fail_money), Currency::FromRaw(-100));
  EXPECT_EQ(env.boxes.size(), 1u);
  EXPECT_EQ(RunMethod<Currency>(env, flags, kInvoiceFee, fail_money), Currency::FromRaw(-100));
  EXPECT_EQ(env.boxes.size(), 2u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(RunMethod<Text>(env, flags, kFormatZip, fail_text), u"Error in QORVEL.DLL");
  }
  EXPECT_EQ(env.boxes.size(), 2u);
  EXPECT_EQ(RunMethod<Long>(env, flags, kPymtCountByDateRange, [] () -> Long { RaiseOverflow(); }), -1);
  EXPECT_EQ(RunMethod<Text>(env, flags, kLTCBenefitTypeEnabledYN, fail_text), u"Error");
  EXPECT_EQ(RunMethod<Currency>(env, flags, kFeesByDateRange, fail_money), Currency::FromRaw(-10000));
}

TEST(RunMethod, AFailingBoxStillGivesTheErrorResult) {
  class ThrowingEnv : public platform::Env {
   public:
    void ShowMessageBox(const Text&, Long, const std::optional<Text>&) override {
      throw std::runtime_error("no display");
    }
    std::unique_ptr<platform::Connection> CreateConnection() override { return nullptr; }
    std::unique_ptr<platform::Recordset> CreateRecordset() override { return nullptr; }
    DateTime Now() override { return DateTime(); }
  } env;
  bool flags[kErrorShownFlags] = {};
  EXPECT_EQ(RunMethod<Text>(env, flags, kLastPaymentDate, [] () -> Text { RaiseTypeMismatch(); }),
            u"Error in QORVEL.DLL");
}

}  // namespace
}  // namespace qorvel::kx
