// modMain: NullToString, the per-thread connection of ConnectToDB,
// DecryptSSN with the ANSI codes of each code page and its re-raised errors,
// and the error styles' boxes: exact prompts and the once-only flag.
#include "modmain/mod_main.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "modmain/error_styles.h"
#include "support/fakes.h"
#include "support/jet_support.h"

namespace qorvel::modmain {
namespace {

using testing::LocaleScope;
using testing::RecordingEnv;

TEST(NullToString, NullZeroAndValuesInTheUserLocale) {
  const struct {
    const char* locale;
    Variant value;
    Boolean zero_if_null;
    Text expected;
  } cases[] = {
      {"en-US", Variant::Null(), kFalse, u""},
      {"en-US", Variant::Null(), kTrue, u"0"},
      {"en-US", Variant::Null(), 1, u"0"},  // any non-zero counts as True
      {"en-US", Variant::FromLong(0), kFalse, u"0"},  // zero is no Null
      {"en-US", Variant::FromText(u""), kTrue, u""},
      {"en-US", Variant(), kTrue, u""},
      {"de-DE", Variant::FromCurrency(Currency::FromRaw(12345000)), kTrue, u"1234,5"},
      {"en-US", Variant::FromDate(*DateTime::FromParts(2011, 8, 8)), kFalse, u"8/8/2011"},
      {"de-DE", Variant::FromDate(*DateTime::FromParts(2011, 8, 8)), kFalse, u"08.08.2011"},
      {"en-US", Variant::FromDate(*DateTime::FromParts(2011, 8, 8, 10, 15, 0)), kFalse, u"8/8/2011 10:15:00 AM"},
  };
  for (const auto& c : cases) {
    LocaleScope scope(c.locale);
    EXPECT_EQ(NullToString(c.value, c.zero_if_null), c.expected) << c.locale << " " << ToUtf8(c.expected);
  }
}

class ConnectToDBTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetThisThread(); }
  void TearDown() override { ResetThisThread(); }
  RecordingEnv env;
};

TEST_F(ConnectToDBTest, ReusesTheConnectionWhilePathAndStateHold) {
  const auto open = [](const std::string& path) {
    return "Open(data source=" + path + ";Jet OLEDB:Database Password=PZqfnWM4062;|||-1)";
  };
  const std::string provider = "Provider=Microsoft.Jet.OLEDB.4.0";
  EXPECT_TRUE(ConnectToDB(env, u"/db/a.mdb"));
  EXPECT_TRUE(ConnectToDB(env, u"/db/a.mdb"));
  EXPECT_TRUE(ConnectToDB(env, u"/db/A.mdb"));  // another path, if only by case
  env.database.forced_state = 5;                // open and executing: not "open"
  EXPECT_TRUE(ConnectToDB(env, u"/db/A.mdb"));
  const std::vector<std::string> expected = {
      "State", provider, open("/db/a.mdb"), "State",
      "State", "Close", provider, open("/db/A.mdb"),
      "State", provider, open("/db/A.mdb")};
  EXPECT_EQ(env.database.calls, expected);
  EXPECT_EQ(env.connections_created, 1);
  EXPECT_EQ(ThisThread().LastDBPath, u"/db/A.mdb");
}

TEST_F(ConnectToDBTest, FailureBoxOncePerThreadAndLastPathKept) {
  EXPECT_TRUE(ConnectToDB(env, u"/db/a.mdb"));
  env.database.open_error = AutomationError(-2147467259, u"Not a valid password.");
  EXPECT_FALSE(ConnectToDB(env, u"/db/b.mdb"));
  EXPECT_FALSE(ConnectToDB(env, u"/db/c.mdb"));
  ASSERT_EQ(env.boxes.size(), 1u);
  EXPECT_EQ(env.boxes[0].prompt.rfind(u"Unable to connect to /db/b.mdb.\r\n", 0), 0u);  // the whole prompt: ErrorStyles below
  EXPECT_EQ(ThisThread().LastDBPath, u"/db/a.mdb");

  // Another thread has its own flag and shows the box again.
  std::thread other([&] { EXPECT_FALSE(ConnectToDB(env, u"/db/b.mdb")); });
  other.join();
  EXPECT_EQ(env.boxes.size(), 2u);
}

TEST(DecryptSSN, DecodesOnlyNineNonNumericCharactersByTheirAnsiCodes) {
  const struct {
    const char* locale;  // "*": every locale of the table
    const char16_t* in;
    const char16_t* out;
  } cases[] = {
      {"en-US", u"EFGHIABCD", u"123456789"},
      {"en-US", u"", u""},
      {"en-US", u"EFGHIABC", u"EFGHIABC"},     // eight characters: unchanged
      {"en-US", u"abcdefghi", u"383940413334353637"},
      {"en-US", u"123-45-67", u"-11-19-10-9-15-14-13-19-12"},
      // A blank among the digits is decoded everywhere. (Where a separator
      // or sign keeps the text numeric is checked through FormatSS.)
      {"*", u"1 2345678", u"-11-10-9-8-15-32-14-13-12"},
      // Code page 932: a double-byte katakana (0x8341) read as a signed
      // 16-bit number. (The ANSI codes themselves are the locale's.)
      {"ja-JP", u"\u30A2AAAAAAAA", u"1111-319991111"},
  };
  for (const auto& c : cases) {
    for (const std::string& locale : platform::LocaleNames()) {
      if (c.locale != locale && std::string(c.locale) != "*") continue;
      LocaleScope scope(locale);
      EXPECT_EQ(DecryptSSN(c.in), c.out) << locale << " " << ToUtf8(c.in);
    }
  }
}

TEST(DecryptSSN, TheSixteenBitRangeAndReRaisedErrors) {
  // Double-byte codes 0x8000 to 0x803F are -32768 to -32705: minus 64 they
  // leave the 16-bit range. 0x8040 gives exactly -32768.
  LocaleScope scope(std::make_shared<testing::FaultyLocale>(
      "ja-JP", testing::Faults{.codes = {{u'X', 0x8000}, {u'Y', 0x803F}, {u'Z', 0x8040}, {u'W', 0xFFFF}, {u'\uFFFF', -1}}}));
  EXPECT_EQ(DecryptSSN(u"@@@@@Z@@@"), u"-32768" + Text(8, u'0'));
  EXPECT_EQ(DecryptSSN(u"@@@@@W@@@"), u"-65" + Text(8, u'0'));
  const std::pair<const char16_t*, AutomationError> failures[] = {
      {u"@@@@@X@@@", AutomationError(6, u"Error In DecryptSSN\r\nOverflow")},
      {u"Y@@@@@@@@", AutomationError(6, u"Error In DecryptSSN\r\nOverflow")},
      {u"@@\uFFFF@@@@@@", AutomationError(7, u"Error In DecryptSSN\r\nOut of memory")},
  };
  for (const auto& failure : failures) {
    const AutomationError e = jet::testing::ErrorOf([&] { (void)DecryptSSN(failure.first); });
    EXPECT_EQ(e.number(), failure.second.number()) << ToUtf8(failure.first);
    EXPECT_EQ(e.description(), failure.second.description());
  }
}

// Each box's whole prompt, buttons and title, and the flag that silences it.
// (A labelled box with a number and a description: the lookups' failing
// statements, tests/kx/lookups_test.cc.)
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
      {"labelled, empty description ends with its CR LF",
       [&](Env& e, bool& f) { ShowLabelledErrorBox(e, f, u"InvoiceFee", empty); },
       u"InvoiceFee\r\n6\r\n", 0, std::nullopt},
      {"date format box has an empty title given",
       [&](Env& e, bool& f) { ShowDateFormatBox(e, f, db_error); },
       u"Error Determining Date Format - Defaulting to 'MM/dd/yyyy'.\r\nError Message - "
       u"The table 'Credit' does not exist.",
       64, Text()},
      {"connection failure shows the description twice",
       [&](Env& e, bool& f) { ShowConnectionFailureBox(e, f, u"C:\\db\\x.mdb", db_error); },
       u"Unable to connect to C:\\db\\x.mdb.\r\nSome report information may be missing or "
       u"incorrect.\r\nPlease restart your computer or contact support.\r\n\r\nThe table "
       u"'Credit' does not exist.\r\nThe table 'Credit' does not exist.",
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
