// modMain: NullToString, and the per-thread connection of ConnectToDB.
#include "modmain/mod_main.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/fakes.h"

namespace qorvel::modmain {
namespace {

using testing::LocaleScope;
using testing::RecordingEnv;

TEST(NullToString, NullZeroAndValues) {
  LocaleScope scope("en-US");
  struct Case {
    Variant value;
    Boolean zero_if_null;
    Text expected;
  };
  const Case cases[] = {
      {Variant::Null(), kFalse, u""},
      {Variant::Null(), kTrue, u"0"},
      {Variant::Null(), 1, u"0"},  // any non-zero counts as True
      {Variant::FromLong(0), kFalse, u"0"},
      {Variant::FromLong(0), kTrue, u"0"},
      {Variant::FromText(u"abc"), kTrue, u"abc"},
      {Variant::FromText(u""), kTrue, u""},
      {Variant(), kTrue, u""},
      {Variant::FromCurrency(Currency::FromRaw(3305000)), kTrue, u"330.5"},
      {Variant::FromDate(*DateTime::FromParts(2011, 8, 8)), kFalse, u"8/8/2011"},
      {Variant::FromDate(*DateTime::FromParts(2011, 8, 8, 10, 15, 0)), kFalse, u"8/8/2011 10:15:00 AM"},
      {Variant::FromDouble(-0.01), kTrue, u"-0.01"},
  };
  for (const Case& c : cases) {
    const Variant before = c.value;
    const Boolean flag_before = c.zero_if_null;
    EXPECT_EQ(NullToString(c.value, c.zero_if_null), c.expected) << ToUtf8(c.expected);
    EXPECT_EQ(c.value, before);
    EXPECT_EQ(c.zero_if_null, flag_before);
  }
}

TEST(NullToString, FollowsTheUserLocale) {
  LocaleScope scope("de-DE");
  EXPECT_EQ(NullToString(Variant::FromCurrency(Currency::FromRaw(3305000)), kTrue), u"330,5");
  EXPECT_EQ(NullToString(Variant::FromDate(*DateTime::FromParts(2011, 8, 8)), kFalse), u"08.08.2011");
}

class ConnectToDBTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetThisThread(); }
  void TearDown() override { ResetThisThread(); }
  RecordingEnv env;
};

TEST_F(ConnectToDBTest, OpensOnceAndReusesWhilePathAndStateHold) {
  EXPECT_TRUE(ConnectToDB(env, u"/db/a.mdb"));
  EXPECT_TRUE(ConnectToDB(env, u"/db/a.mdb"));
  EXPECT_EQ(env.database.opens, 1);
  EXPECT_EQ(env.connections_created, 1);
  const std::vector<std::string> expected = {
      "State", "Provider=Microsoft.Jet.OLEDB.4.0",
      "Open(data source=/db/a.mdb;Jet OLEDB:Database Password=PZqfnWM4062;||-1)", "State"};
  EXPECT_EQ(env.database.calls, expected);
  EXPECT_EQ(ThisThread().LastDBPath, u"/db/a.mdb");
}

TEST_F(ConnectToDBTest, AnotherPathOrCaseClosesAndOpensAgain) {
  EXPECT_TRUE(ConnectToDB(env, u"/db/a.mdb"));
  EXPECT_TRUE(ConnectToDB(env, u"/db/A.mdb"));
  EXPECT_EQ(env.database.opens, 2);
  EXPECT_EQ(env.database.calls[4], "Close");
  EXPECT_EQ(ThisThread().LastDBPath, u"/db/A.mdb");
}

TEST_F(ConnectToDBTest, AStateOtherThanOpenOpensAgain) {
  EXPECT_TRUE(ConnectToDB(env, u"/db/a.mdb"));
  env.database.forced_state = 5;  // open and executing: not "open"
  EXPECT_TRUE(ConnectToDB(env, u"/db/a.mdb"));
  EXPECT_EQ(env.database.opens, 2);
}

TEST_F(ConnectToDBTest, FailureBoxOncePerThreadAndLastPathKept) {
  EXPECT_TRUE(ConnectToDB(env, u"/db/a.mdb"));
  env.database.open_error = AutomationError(-2147467259, u"Not a valid password.");
  EXPECT_FALSE(ConnectToDB(env, u"/db/b.mdb"));
  EXPECT_FALSE(ConnectToDB(env, u"/db/c.mdb"));
  ASSERT_EQ(env.boxes.size(), 1u);
  EXPECT_EQ(env.boxes[0].prompt,
            u"Unable to connect to /db/b.mdb.\r\nSome report information may be missing or "
            u"incorrect.\r\nPlease restart your computer or contact support.\r\n\r\nNot a valid "
            u"password.\r\nNot a valid password.");
  EXPECT_EQ(env.boxes[0].buttons, 64);
  EXPECT_FALSE(env.boxes[0].title.has_value());
  EXPECT_EQ(ThisThread().LastDBPath, u"/db/a.mdb");

  // Another thread has its own flag and shows the box again.
  std::thread other([&] { EXPECT_FALSE(ConnectToDB(env, u"/db/b.mdb")); });
  other.join();
  EXPECT_EQ(env.boxes.size(), 2u);
}

TEST(DecryptSSN, DecodesOnlyNineNonNumericCharacters) {
  LocaleScope scope("en-US");
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"EFGHIABCD", u"123456789"},
      {u"123456789", u"123456789"},   // numeric: unchanged
      {u"", u""},
      {u"EFGHIABC", u"EFGHIABC"},     // eight characters: unchanged
      {u"@@@@@@@@J", u"0001000000"},  // J is 10: one character too many
      {u"abcdefghi", u"383940413334353637"},
      {u"123-45-67", u"-11-19-10-9-15-14-13-19-12"},
  };
  for (const auto& [in, out] : cases) {
    const Text arg = in;
    EXPECT_EQ(DecryptSSN(arg), out) << ToUtf8(in);
    EXPECT_EQ(arg, in);
  }
}

}  // namespace
}  // namespace qorvel::modmain
