// The error styles' boxes: exact prompts and the once-only flag. (The
// re-raise of modMain's routines is checked through DecryptSSN.)
#include "modmain/error_styles.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/fakes.h"

namespace qorvel::modmain {
namespace {

using testing::RecordingEnv;

TEST(ErrorStyles, PromptsAreExact) {
  struct Case {
    const char* name;
    std::function<void(Env&, bool&)> show;
    Text prompt;
    Long buttons;
    std::optional<Text> title;
  };
  const AutomationError db_error(-2147217865, u"The table 'Credit' does not exist.");
  const AutomationError empty(6, u"");
  const Case cases[] = {
      {"labelled, negative number",
       [&](Env& e, bool& f) { ShowLabelledErrorBox(e, f, u"CreditAmount", db_error); },
       u"CreditAmount\r\n-2147217865\r\nThe table 'Credit' does not exist.", 0, std::nullopt},
      {"labelled, empty description ends with its CR LF",
       [&](Env& e, bool& f) { ShowLabelledErrorBox(e, f, u"InvoiceFee", empty); },
       u"InvoiceFee\r\n6\r\n", 0, std::nullopt},
      {"date format box has an empty title given",
       [&](Env& e, bool& f) { ShowDateFormatBox(e, f, db_error); },
       u"Error Determining Date Format - Defaulting to 'MM/dd/yyyy'.\r\nError Message - "
       u"The table 'Credit' does not exist.",
       64, Text()},
      {"date format box, empty description",
       [&](Env& e, bool& f) { ShowDateFormatBox(e, f, empty); },
       u"Error Determining Date Format - Defaulting to 'MM/dd/yyyy'.\r\nError Message - ", 64,
       Text()},
      {"connection failure shows the description twice",
       [&](Env& e, bool& f) { ShowConnectionFailureBox(e, f, u"C:\\db\\x.mdb", db_error); },
       u"Unable to connect to C:\\db\\x.mdb.\r\nSome report information may be missing or "
       u"incorrect.\r\nPlease restart your computer or contact support.\r\n\r\nThe table "
       u"'Credit' does not exist.\r\nThe table 'Credit' does not exist.",
       64, std::nullopt},
      {"connection failure, empty description",
       [&](Env& e, bool& f) { ShowConnectionFailureBox(e, f, u"", empty); },
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

}  // namespace
}  // namespace qorvel::modmain
