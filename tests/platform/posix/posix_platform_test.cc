// The Linux platform: the choice of the user locale from the environment,
// setting the process-wide user locale (a locale once set is never freed);
// and the Connection and Recordset: connection string reading, the
// provider, opening and closing, and the recordset's operations and errors.
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "jet/errors.h"
#include "support/jet_support.h"
#include "platform/locale.h"
#include "platform/posix/environment_locale.h"
#include "platform/jet_database.h"
#include "qorvel/automation_error.h"
#include "shared_dir.h"

namespace qorvel::platform {
namespace {

using ::qorvel::testing::SharedPath;

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
      {{}, "en-US"}, {{{"LANG", "de_DE.UTF-8"}}, "de-DE"}, {{{"LANG", "C"}}, "en-US"}, {{{"LANG", "C.UTF-8"}}, "en-US"},
      {{{"LANG", "de_AT.UTF-8"}}, "de-DE"},  // same language
      {{{"LANG", "xx_YY.UTF-8"}}, "en-US"}, {{{"LC_ALL", "fr_FR.UTF-8"}, {"LANG", "de_DE.UTF-8"}}, "fr-FR"},
      {{{"LC_ALL", ""}, {"LANG", "sv_SE.UTF-8"}}, "sv-SE"},  // empty is unset
      {{{"LC_ALL", "it_IT.UTF-8"}, {"LC_TIME", "en_US.UTF-8"}, {"LC_NUMERIC", "en_US.UTF-8"}}, "it-IT"},
      {{{"LC_TIME", "ja_JP.UTF-8"}, {"LC_NUMERIC", "ja_JP.UTF-8"}, {"LC_CTYPE", "ja_JP.UTF-8"}}, "ja-JP"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Choose(c.env), FindLocale(c.table_locale)) << c.table_locale;
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
  const DateTime day = *DateTime::FromParts(2010, 3, 31);
  LocaleInfo custom = FindLocale("de-DE")->info();
  custom.short_date = u"yyyy.MM.dd";
  SetUserLocale(MakeLocale(custom));  // held by nothing else
  const Locale& own = UserLocale();
  EXPECT_EQ(own.DateToText(day), u"2010.03.31");
  SetUserLocale(FindLocale("en-US"));
  EXPECT_EQ(UserLocale().DateToText(day), u"3/31/2010");
  EXPECT_EQ(own.DateToText(day), u"2010.03.31");  // a reference taken before the change still works

  // A null locale goes back to the environment's choice.
  SetUserLocale(nullptr);
  const auto from_environment = EnvironmentLocale([](const char* variable) { return std::getenv(variable); });
  EXPECT_EQ(UserLocale().info().name, from_environment->info().name);
  SetUserLocale(before);
}

TEST(ConnectionStringTest, ReadsAsOleDbDoes) {
  const struct {
    const char16_t* text;
    std::vector<std::pair<Text, Text>> expected;  // keyword and value
  } cases[] = {
      {u"data source=C:\\Billing\\db.mdb;Jet OLEDB:Database Password=PZqfnWM4062;",
       {{u"data source", u"C:\\Billing\\db.mdb"}, {u"Jet OLEDB:Database Password", u"PZqfnWM4062"}}},
      {u"  Data Source = /tmp/a b.mdb ; ", {{u"Data Source", u"/tmp/a b.mdb"}}},
      {u"Data Source='/tmp/a;b.mdb'", {{u"Data Source", u"/tmp/a;b.mdb"}}},
      {u"Data Source=\"it\"\"s.mdb\" ;x=1", {{u"Data Source", u"it\"s.mdb"}, {u"x", u"1"}}},
      {u"Data Source='it''s.mdb'", {{u"Data Source", u"it's.mdb"}}},
      {u"Data Source= ' padded ' ", {{u"Data Source", u" padded "}}},
      {u"Odd==Key=1", {{u"Odd=Key", u"1"}}}, {u"data source=a;DATA SOURCE=b", {{u"data source", u"b"}}},
      {u";;Data Source=a;; ;", {{u"Data Source", u"a"}}}, {u"Data Source=", {{u"Data Source", u""}}},
  };
  for (const auto& c : cases) {
    std::vector<std::pair<Text, Text>> parsed;
    for (const auto& p : ParseConnectionString(c.text)) parsed.emplace_back(p.keyword, p.value);
    EXPECT_EQ(parsed, c.expected) << ToUtf8(c.text);
  }
}

TEST(ConnectionStringTest, RejectsMalformedStrings) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {  // the text, the position its error names
      {u"Data Source", u"character 1"},      {u"=value", u"character 1"},          {u"a=1; junk ;b=2", u"character 5"},
      {u"Data Source='abc", u"character 13"}, {u"Data Source=\"abc\"def", u"character 18"},
  };
  for (const auto& [text, position] : cases) {
    const AutomationError error = ::qorvel::jet::testing::ErrorOf([&, s = text] { ParseConnectionString(s); });
    EXPECT_EQ(error.number(), kErrBadConnectionString) << ToUtf8(text);
    EXPECT_NE(error.description().find(position), Text::npos) << ToUtf8(text) << ": " << error.what();
  }
}

DateTime FixedClock() { return *DateTime::FromParts(2012, 6, 15, 12, 0, 0); }

Text ConnectionString(const std::string& fixture, const char16_t* password = u"PZqfnWM4062") {
  return u"data source=" + FromUtf8(SharedPath(fixture).string()) + u";Jet OLEDB:Database Password=" +
         password + u";";
}

// The number of the error `action` raises, 0 for none.
long ErrorOf(const std::function<void()>& action) { return ::qorvel::jet::testing::ErrorOf(action).number(); }

long OpenError(JetConnection& connection, const Text& provider, const Text& connection_string) {
  return ErrorOf([&] {
    connection.SetProvider(provider);
    connection.Open(connection_string, u"", u"", -1);
  });
}

// One connection opened again and again: an open connection is closed
// first, and a failing open leaves it closed, not on the old file.
TEST(JetConnectionTest, ProviderAndOpen) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  const Text billing = ConnectionString("fixtures/billing.mdb");
  const struct { const char16_t* provider; Text connection_string; long error; } cases[] = {
      {kJetProvider, billing, 0},                          {u"microsoft.jet.oledb.4.0", billing, 0},
      {u"Microsoft.ACE.OLEDB.12.0", billing, kErrProviderNotFound}, {u" Microsoft.Jet.OLEDB.4.0 ", billing, 0},
      {u"", billing, kErrProviderNotFound},                {u"", u"Provider=Microsoft.Jet.OLEDB.4.0;" + billing, 0},
      {kJetProvider, u"Provider=SQLOLEDB;" + billing, kErrProviderNotFound},
      {kJetProvider, ConnectionString("fixtures/billing.mdb", u"wrong"), jet::kErrWrongPassword},
      {kJetProvider, ConnectionString("fixtures/no-such.mdb"), jet::kErrFileNotFound},
      {kJetProvider, u"data source=;Jet OLEDB:Database Password=PZqfnWM4062;", jet::kErrFileNotFound},
      {kJetProvider, u"data source", kErrBadConnectionString},
      {kJetProvider, billing + u"User ID=Admin;Mode=Read;Persist Security Info=False;", 0},
      {kJetProvider, ConnectionString("fixtures/types.mdb"), 0},
  };
  JetConnection connection(FixedClock);
  EXPECT_EQ(connection.State(), kStateClosed);
  for (const auto& c : cases) {
    EXPECT_EQ(OpenError(connection, c.provider, c.connection_string), c.error)
        << ToUtf8(c.provider) << " | " << ToUtf8(c.connection_string);
    EXPECT_EQ(connection.State(), c.error == 0 ? kStateOpen : kStateClosed);
  }
  EXPECT_NE(connection.database()->FindTable(u"AllTypes"), nullptr);
  connection.Close();
  EXPECT_EQ(connection.State(), kStateClosed);
}

class OtherConnection : public Connection {
 public:
  Long State() const override { return kStateOpen; }
  void SetProvider(const Text&) override {}
  void Open(const Text&, const Text&, const Text&, Long) override {}
  void Close() override {}
};

TEST(JetRecordsetTest, ReadsRowsAndRaisesOnMisuse) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  JetConnection connection(FixedClock);
  ASSERT_EQ(OpenError(connection, kJetProvider, ConnectionString("fixtures/billing.mdb")), 0);
  JetRecordset rs;
  EXPECT_EQ(ErrorOf([&] { rs.Eof(); }), kErrObjectClosed);
  rs.Open(u"Select InvoiceNumber, DateEntered From Invoice Where PeopleID = 417 Order By InvoiceNumber Desc",
          connection, 3, 1, -1);
  EXPECT_EQ(ErrorOf([&] { rs.Open(u"Select Count(*) From Invoice", connection, 3, 1, -1); }), kErrObjectOpen);
  std::vector<Long> numbers;
  while (!rs.Eof()) {
    numbers.push_back(rs.Field(0).AsLong());
    EXPECT_EQ(rs.Field(1).type(), VarType::kDate);
    EXPECT_EQ(ErrorOf([&] { rs.Field(2); }), kErrNoSuchField);
    EXPECT_EQ(ErrorOf([&] { rs.Field(-1); }), kErrNoSuchField);
    rs.MoveNext();
  }
  EXPECT_EQ(numbers, (std::vector<Long>{983, 982, 981, 980}));
  EXPECT_EQ(ErrorOf([&] { rs.Field(0); }), kErrNoCurrentRow);
  EXPECT_EQ(ErrorOf([&] { rs.MoveNext(); }), kErrNoCurrentRow);
  rs.Close();
  EXPECT_EQ(ErrorOf([&] { rs.Close(); }), kErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs.MoveNext(); }), kErrObjectClosed);

  // The statement's own errors come through; the recordset stays closed.
  EXPECT_EQ(ErrorOf([&] { rs.Open(u"Select Count(*) From Nowhere", connection, 3, 1, -1); }), jet::kErrNoSuchTable);
  EXPECT_EQ(ErrorOf([&] { rs.Eof(); }), kErrObjectClosed);

  // Arguments out of range, another platform's connection, a closed one.
  EXPECT_EQ(ErrorOf([&] { rs.Open(u"Select Count(*) From Invoice", connection, 7, 1, -1); }), kErrBadArguments);
  EXPECT_EQ(ErrorOf([&] { rs.Open(u"Select Count(*) From Invoice", connection, 3, 1, 512); }), kErrBadArguments);
  OtherConnection other;
  EXPECT_EQ(ErrorOf([&] { rs.Open(u"Select Count(*) From Invoice", other, 3, 1, -1); }), kErrBadArguments);
  connection.Close();
  EXPECT_EQ(ErrorOf([&] { rs.Open(u"Select Count(*) From Invoice", connection, 3, 1, -1); }), kErrObjectClosed);
}

}  // namespace
}  // namespace qorvel::platform
