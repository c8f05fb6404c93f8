// The sixteen lookups against a recording database: the statements whose
// texts carry a rule (text arguments quoted safely, the period, dates and
// times as texts), how each reads and converts, and their defaults and
// error results; and eight threads, each with its own KX objects, making
// the shared table's calls on the same and different files at once (run
// under ThreadSanitizer by scripts/tsan.sh). What each lookup gives on the
// fixture rows written for it is the shared call table's
// (tests/cases/calls.tsv, run by tests/automation/dispatch_test.cc).
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <thread>
#include <vector>

#include "cases/calls_table.h"
#include "modmain/mod_main.h"
#include "qorvel/dispatch.h"
#include "qorvel/host.h"
#include "qorvel/kx.h"
#include "shared_dir.h"
#include "support/fakes.h"
#include "support/jet_support.h"
#include "support/tsv_database.h"

namespace qorvel {
namespace {

using testing::EngineEnv;
using testing::LocaleScope;
using testing::RecordingEnv;

constexpr char16_t kDb[] = u"/data/billing.mdb";

Currency Money(std::int64_t raw) { return Currency::FromRaw(raw); }
Variant MoneyField(std::int64_t raw) { return Variant::FromCurrency(Money(raw)); }
Variant DateField(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  return Variant::FromDate(*DateTime::FromParts(y, m, d, hh, mm, ss));
}

class LookupTest : public ::testing::Test {
 protected:
  void SetUp() override { modmain::ResetThisThread(); }
  void TearDown() override { modmain::ResetThisThread(); }

  LocaleScope locale{"en-US"};
  RecordingEnv env;
  KX kx{&env};
};

// Each lookup called late bound with text arguments after the path; the
// statement is answered with `rows` and must be the one statement sent.
// (The results on real rows, empty ones included, are the call table's.)
TEST_F(LookupTest, StatementsAndResults) {
  struct Case {
    const char* what;  // the method, then what the case shows
    std::vector<Text> args;
    Text statement;
    std::vector<std::vector<Variant>> rows;
    Variant result;
  };
  const Text aged = u"Select Balance, DateDiff('d', InvoiceDate, Now()) As Age From ActivityLog Where Active = 1 "
                    u"And InvoiceDate Is Not Null And PeopleID = ";
  const Case cases[] = {
      {"LastModifiedCaseClient, dates compared as dates", {u"Billing", u"42"},
       u"Select Max (DateEntered), Max (DateModified) From CaseClientContact Where PeopleID = 42 "
       u"And Category = 'Billing'",
       {{DateField(2011, 9, 30), DateField(2011, 10, 1)}}, Variant::FromText(u"10/01/2011")},
      {"LastModified, only Modified", {u"Client", u"-5"},
       u"Select Max (DateEntered), Max (DateModified) From [Client] Where PeopleID = -5",
       {{Variant::Null(), DateField(2011, 8, 9)}}, Variant::FromText(u"08/09/2011")},
      {"AgedInvBalances walks and filters", {u"417", u"0", u"30"}, aged + u"417",
       {{MoneyField(10000), Variant::FromLong(0)},
        {MoneyField(20000), Variant::FromLong(29)}, {MoneyField(40000), Variant::FromLong(30)},
        {Variant::Null(), Variant::FromLong(5)}, {MoneyField(80000), Variant::Null()},
        {MoneyField(160000), Variant::FromLong(-3)}},
       Variant::FromCurrency(Money(30000))},
      {"PymtCountByDateRange", {u"17", u"3/1/2011", u"3/31/2011 23:59:59"},
       u"Select Count(*) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
       u"ActivityLog.GUID Where Payment.Active = 1 And Payment.DateEntered > #3/1/2011# And "
       u"Payment.DateEntered <= #3/31/2011 23:59:59# And PeopleID = 17",
       {{Variant::FromLong(3)}}, Variant::FromLong(3)},
      {"InvoiceFee, Null sum", {u"982"}, u"Select Sum(Fee) From ActivityLog Where Active = 1 And InvoiceNumber = 982",
       {{Variant::Null()}}, Variant::FromCurrency(Money(0))},
      {"LTCBenefitTypeEnabledYN", {u"17", u"Respite"},
       u"Select Enabled From LTCBenefit Where PeopleID = 17 And BenefitType = 'Respite'",
       {{Variant::FromInteger(1)}, {Variant::FromInteger(0)}}, Variant::FromText(u"Yes")},
      {"LTCBenefitTypeEnabledYN, empty type, Enabled 2", {u"-5", u""},
       u"Select Enabled From LTCBenefit Where PeopleID = -5 And BenefitType = ''",
       {{Variant::FromInteger(2)}}, Variant::FromText(u"No")},
      {"LTCBenefitTypeEnabledYN, quotes doubled", {u"7", u"x' Or 'a' = 'a"},
       u"Select Enabled From LTCBenefit Where PeopleID = 7 And BenefitType = 'x'' Or ''a'' = ''a'", {},
       Variant::FromText(u"No")},
      {"PymtsByDateRange, every condition", {u"17", u"3/1/2011", u"3/31/2011", u"HH1"},
       u"Select Sum(Payment) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
       u"ActivityLog.GUID Where Payment.Active = 1  And DateValue(Payment.PaymentDate) >= "
       u"#3/1/2011# And DateValue(Payment.PaymentDate) <= #3/31/2011#  And PeopleID = 17 And "
       u"CareProviderID = 'HH1'",
       {{MoneyField(255000)}}, Variant::FromCurrency(Money(255000))},
      {"WOffsByDateRange, start on 1 January 2001 means no period", {u"0", u"1/1/2001 23:00", u"3/31/2011", u""},
       u"Select Sum(WriteOff) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
       u"ActivityLog.GUID Where Payment.Active = 1 ",
       {{Variant::Null()}}, Variant::FromCurrency(Money(0))},
      {"FeesByDateRange, start 2 January 2001 with a time", {u"-5", u"1/2/2001 10:15", u"12:00 AM", u""},
       u"Select Sum(Fee) From ActivityLog Where Active = 1  And DateValue(ActivityDate) >= "
       u"#1/2/2001 10:15:00 AM# And DateValue(ActivityDate) <= #12:00:00 AM# ",
       {}, Variant::FromCurrency(Money(0))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string what = c.what;
    env.database.statements.clear();
    env.database.answers = {{c.statement, c.rows}};
    std::vector<Variant> args = {Variant::FromText(kDb)};
    for (const Text& a : c.args) args.push_back(Variant::FromText(a));
    const InvokeResult r = Invoke(kx, FromUtf8(what.substr(0, what.find_first_of(", "))), args);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.value, c.result);
    ASSERT_EQ(env.database.statements.size(), 1u);
    EXPECT_EQ(ToUtf8(env.database.statements[0]), ToUtf8(c.statement));
    EXPECT_TRUE(env.boxes.empty()) << ToUtf8(env.boxes.empty() ? Text() : env.boxes[0].prompt);
  }
}

// Arguments that would end a literal or a bracketed name early fail the
// call before a statement is sent: a '#' in a date text (error 5, with the
// method's box), a ']' in a table name (the error text, no box).
TEST_F(LookupTest, ArgumentsThatWouldChangeTheStatementAreErrorsOfTheCall) {
  EXPECT_EQ(kx.PymtCountByDateRange(kDb, Long{17}, Text(u"1/1/2011# Or #1/1/1900"), Text(u"1/2/2011")), -1);
  ASSERT_EQ(env.boxes.size(), 1u);
  EXPECT_EQ(env.boxes[0].prompt, u"PymtCountByDateRange\r\n5\r\nInvalid procedure call or argument");
  for (const Text table : {u"Client] Where 1 = 1 Or [Client", u"]", u"Client]"}) {
    EXPECT_EQ(kx.LastModified(kDb, table, Long{42}), u"Error in QORVEL.DLL") << ToUtf8(table);
  }
  EXPECT_TRUE(env.database.statements.empty());
  EXPECT_EQ(env.boxes.size(), 1u);
}

// What `method` gives for text arguments, as a late-bound caller passes
// them, written as a report shows it.
std::string Call(KX& kx, const std::string& method, const std::vector<Text>& args) {
  std::vector<Variant> values;
  for (const Text& a : args) values.push_back(Variant::FromText(a));
  const InvokeResult r = Invoke(kx, FromUtf8(method), values);
  return r.ok() ? ToUtf8(DisplayText(r.value)) : "failed: " + r.message;
}

// Each lookup called on `db` with example arguments: its name and result,
// as a report shows it.
std::vector<std::string> EveryLookup(KX& kx, const Text& db) {
  std::vector<std::string> results;
  for (const MethodInfo& m : Methods()) {
    if (m.number < 7 || m.number > 22) continue;
    std::vector<Text> args(m.params.size(), u"1");
    args[0] = db;
    if (m.params.size() > 2 && m.params[2].type == VarType::kDate) args[2] = args[3] = u"3/1/2011";
    results.push_back(ToUtf8(m.name) + " " + Call(kx, ToUtf8(m.name), args));
  }
  return results;
}

// Without a connection (an empty path, or a database that does not open) a
// lookup gives its default and sends no statement. (The connection's own
// box is modMain's.)
TEST_F(LookupTest, WithoutAConnectionTheDefault) {
  for (const Text& db : {Text(), Text(kDb)}) {
    if (!db.empty()) env.database.open_error = AutomationError(-2147217843, u"Not a valid password.");
    for (const std::string& result : EveryLookup(kx, db)) {
      EXPECT_TRUE(result.ends_with(" ") || result.ends_with(" 0")) << result;
    }
  }
  EXPECT_EQ(env.connections_created, 1);
  EXPECT_TRUE(env.database.statements.empty());
}

// A statement that fails gives each lookup's error result, with one box per
// method and object (none for the two text-style methods).
TEST_F(LookupTest, FailingStatementsGiveErrorResultsWithOneBoxPerMethodAndObject) {
  const std::vector<std::string> expected = {
      "LastModified Error in QORVEL.DLL", "LastModifiedCaseClient Error in QORVEL.DLL",
      "LastPaymentDate Error in QORVEL.DLL", "LastPaymentAmt -0.01", "CreditAmount -0.01",
      "CreditAmountRetainer -0.01", "PrevBalDue -0.01", "PrevInvDateEntered ", "AgedInvBalances -0.01",
      "PymtCountByDateRange -1", "InvoiceBalance -0.01", "InvoiceFee -0.01", "LTCBenefitTypeEnabledYN Error",
      "PymtsByDateRange -1", "WOffsByDateRange -1", "FeesByDateRange -1"};
  for (int round = 0; round < 2; ++round) {  // no scripted answers: every statement fails
    EXPECT_EQ(EveryLookup(kx, kDb), expected);
    EXPECT_EQ(env.boxes.size(), 14u) << "round " << round;
  }
  EXPECT_EQ(env.boxes[0].prompt,
            u"LastPaymentDate\r\n-2147217900\r\nSyntax error in the statement (no scripted answer).");
  KX fresh(&env);
  EXPECT_EQ(fresh.CreditAmount(kDb, Long{417}), Money(-100));
  EXPECT_EQ(env.boxes.size(), 15u);
}

// Eight threads, each with its own KX objects, make every en-US call of the
// shared call table at once: threads 0 to 3 on the password file (the same
// file at once), the others moving between it, the same file without a
// password and the same rows as a SQLite file.
TEST(ThreadsTest, EightThreadsGetWhatOneThreadGets) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  QORVEL_REQUIRE_SHARED("fixtures/billing-nopassword.mdb");
  QORVEL_REQUIRE_SHARED("fixtures/billing");
  LocaleScope locale("en-US");
  jet::testing::TempDir temp;
  const auto sqlite = temp / "billing.sqlite";
  ASSERT_EQ(testing::BuildSqliteFromTsv(testing::SharedPath("fixtures/billing"), sqlite), "");
  std::string error;
  const std::vector<cases::Call> table = cases::ReadCalls(QORVEL_CASES_DIR "/calls.tsv", error);
  std::vector<std::vector<cases::Call>> calls;  // by file
  for (const std::string& file : {testing::SharedPath("fixtures/billing.mdb").string(),
                                 testing::SharedPath("fixtures/billing-nopassword.mdb").string(), sqlite.string()}) {
    calls.push_back(cases::OnDatabases(table, {{u"$billing", {FromUtf8(file)}}, {u"$large", {}}}, error));
    std::erase_if(calls.back(), [](const cases::Call& c) { return c.locale != "en-US"; });
  }
  ASSERT_TRUE(error.empty() && calls[0].size() > 40) << error;
  constexpr std::size_t kThreads = 8, kRounds = 3;
  std::array<std::string, kThreads> wrong;  // what differed, by thread
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t round = 0; round < kRounds; ++round) {
        EngineEnv env;
        KX kx(&env);
        for (const cases::Call& c : calls[t < 4 ? 0 : (t + round) % calls.size()]) {
          const std::string got = Call(kx, c.method, c.args);
          if (got != ToUtf8(c.expected)) wrong[t] += "\ncalls.tsv:" + std::to_string(c.line) + " gave " + got;
        }
        if (!env.boxes.empty()) wrong[t] += "\na box: " + ToUtf8(env.boxes[0].prompt);
      }
      modmain::ResetThisThread();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], "") << "thread " << t;
}

}  // namespace
}  // namespace qorvel
