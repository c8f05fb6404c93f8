// The sixteen lookups against a recording database: the exact statement
// each sends, how each reads and converts, and their defaults and error
// results.
#include <gtest/gtest.h>

#include "modmain/mod_main.h"
#include "qorvel/dispatch.h"
#include "qorvel/kx.h"
#include "support/fakes.h"

namespace qorvel {
namespace {

using testing::LocaleScope;
using testing::RecordingEnv;

constexpr char16_t kDb[] = u"/data/billing.mdb";

Currency Money(std::int64_t raw) { return Currency::FromRaw(raw); }
Variant MoneyField(std::int64_t raw) { return Variant::FromCurrency(Money(raw)); }
Variant DateField(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  return Variant::FromDate(*DateTime::FromParts(y, m, d, hh, mm, ss));
}
DateTime Date(int y, int m, int d, int hh = 0, int mm = 0) { return *DateTime::FromParts(y, m, d, hh, mm); }

class LookupTest : public ::testing::Test {
 protected:
  void SetUp() override { modmain::ResetThisThread(); }
  void TearDown() override { modmain::ResetThisThread(); }

  // Answers `statement` with `rows`, and checks after the call that it was
  // the one statement sent.
  void Answer(const Text& statement, std::vector<std::vector<Variant>> rows) {
    env.database.answers[statement] = std::move(rows);
    expected = statement;
  }
  void ExpectSent() {
    ASSERT_EQ(env.database.statements.size(), 1u);
    EXPECT_EQ(ToUtf8(env.database.statements[0]), ToUtf8(expected));
  }

  LocaleScope locale{"en-US"};
  RecordingEnv env;
  KX kx{&env};
  Text expected;
};

TEST_F(LookupTest, StatementsAndResults) {
  struct Case {
    const char* name;
    std::function<Variant(KX&)> call;
    Text statement;
    std::vector<std::vector<Variant>> rows;
    Variant result;
  };
  const Long p417 = 417, m5 = -5, inv982 = 982, p17 = 17, p0 = 0, p42 = 42;
  const Integer d0 = 0, d30 = 30, dm10 = -10;
  const Text client = u"Client", billing = u"Billing", respite = u"Respite", empty, hh1 = u"HH1";
  const Text start = u"3/1/2011", end = u"3/31/2011 23:59:59";
  const std::vector<Case> cases = {
      {"LastModified",
       [&](KX& k) { return Variant::FromText(k.LastModified(kDb, client, p42)); },
       u"Select Max (DateEntered), Max (DateModified) From [Client] Where PeopleID = 42",
       {{DateField(2011, 8, 8), DateField(2011, 8, 9, 10, 15)}},
       Variant::FromText(u"08/09/2011")},
      {"LastModifiedCaseClient, dates compared as dates",
       [&](KX& k) { return Variant::FromText(k.LastModifiedCaseClient(kDb, billing, p42)); },
       u"Select Max (DateEntered), Max (DateModified) From CaseClientContact Where PeopleID = 42 "
       u"And Category = 'Billing'",
       {{DateField(2011, 9, 30), DateField(2011, 10, 1)}},
       Variant::FromText(u"10/01/2011")},
      {"LastModified, only Modified",
       [&](KX& k) { return Variant::FromText(k.LastModified(kDb, client, m5)); },
       u"Select Max (DateEntered), Max (DateModified) From [Client] Where PeopleID = -5",
       {{Variant::Null(), DateField(2011, 8, 9)}},
       Variant::FromText(u"08/09/2011")},
      {"LastModified, no rows",
       [&](KX& k) { return Variant::FromText(k.LastModified(kDb, client, p0)); },
       u"Select Max (DateEntered), Max (DateModified) From [Client] Where PeopleID = 0",
       {{Variant::Null(), Variant::Null()}},
       Variant::FromText(u"")},
      {"LastPaymentDate drops the time",
       [&](KX& k) { return Variant::FromText(k.LastPaymentDate(kDb, p417)); },
       u"Select Max (PaymentDate) From Payment Inner Join ActivityLog On "
       u"Payment.ActivityLogGUID = ActivityLog.GUID Where ActivityLog.Active = 1 And "
       u"Payment.Active = 1 And Payment > 0 And PeopleID = 417",
       {{DateField(2010, 3, 31, 14, 15)}},
       Variant::FromText(u"03/31/2010")},
      {"LastPaymentAmt",
       [&](KX& k) { return Variant::FromCurrency(k.LastPaymentAmt(kDb, m5)); },
       u"Select Payment From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
       u"ActivityLog.GUID Where ActivityLog.Active = 1 And Payment.Active = 1 And Payment > 0 And "
       u"PeopleID = -5 Order By PaymentDate Desc",
       {{MoneyField(100000)}, {MoneyField(50000)}},
       Variant::FromCurrency(Money(100000))},
      {"LastPaymentAmt, no row",
       [&](KX& k) { return Variant::FromCurrency(k.LastPaymentAmt(kDb, p0)); },
       u"Select Payment From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
       u"ActivityLog.GUID Where ActivityLog.Active = 1 And Payment.Active = 1 And Payment > 0 And "
       u"PeopleID = 0 Order By PaymentDate Desc",
       {},
       Variant::FromCurrency(Money(0))},
      {"CreditAmount",
       [&](KX& k) { return Variant::FromCurrency(k.CreditAmount(kDb, p417)); },
       u"Select Sum(Balance) From Credit Where Active = 1 And PeopleID = 417",
       {{MoneyField(3305000)}},
       Variant::FromCurrency(Money(3305000))},
      {"CreditAmountRetainer, Null sum",
       [&](KX& k) { return Variant::FromCurrency(k.CreditAmountRetainer(kDb, m5)); },
       u"Select Sum(Balance) From Credit Where Active = 1 And Retainer = 1 And PeopleID = -5",
       {{Variant::Null()}},
       Variant::FromCurrency(Money(0))},
      {"PrevBalDue",
       [&](KX& k) { return Variant::FromCurrency(k.PrevBalDue(kDb, p417, inv982)); },
       u"Select Sum(Balance) From ActivityLog Where Active = 1 And InvoiceNumber Is Not Null And "
       u"InvoiceNumber < 982 And PeopleID = 417",
       {{MoneyField(-100)}},
       Variant::FromCurrency(Money(-100))},
      {"PrevInvDateEntered keeps the time",
       [&](KX& k) { return Variant::FromText(k.PrevInvDateEntered(kDb, p417, inv982)); },
       u"Select Max (DateEntered) From Invoice Where Status = 1 And InvoiceNumber < 982 And "
       u"PeopleID = 417",
       {{DateField(2011, 1, 15, 10, 0)}},
       Variant::FromText(u"1/15/2011 10:00:00 AM")},
      {"AgedInvBalances walks and filters",
       [&](KX& k) { return Variant::FromCurrency(k.AgedInvBalances(kDb, p417, d0, d30)); },
       u"Select Balance, DateDiff('d', InvoiceDate, Now()) As Age From ActivityLog Where Active = "
       u"1 And InvoiceDate Is Not Null And PeopleID = 417",
       {{MoneyField(10000), Variant::FromLong(0)},
        {MoneyField(20000), Variant::FromLong(29)},
        {MoneyField(40000), Variant::FromLong(30)},
        {Variant::Null(), Variant::FromLong(5)},
        {MoneyField(80000), Variant::Null()},
        {MoneyField(160000), Variant::FromLong(-3)}},
       Variant::FromCurrency(Money(30000))},
      {"AgedInvBalances, future window",
       [&](KX& k) { return Variant::FromCurrency(k.AgedInvBalances(kDb, p0, dm10, d0)); },
       u"Select Balance, DateDiff('d', InvoiceDate, Now()) As Age From ActivityLog Where Active = "
       u"1 And InvoiceDate Is Not Null And PeopleID = 0",
       {{MoneyField(160000), Variant::FromLong(-3)}, {MoneyField(1), Variant::FromLong(0)}},
       Variant::FromCurrency(Money(160000))},
      {"PymtCountByDateRange",
       [&](KX& k) { return Variant::FromLong(k.PymtCountByDateRange(kDb, p17, start, end)); },
       u"Select Count(*) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
       u"ActivityLog.GUID Where Payment.Active = 1 And Payment.DateEntered > #3/1/2011# And "
       u"Payment.DateEntered <= #3/31/2011 23:59:59# And PeopleID = 17",
       {{Variant::FromLong(3)}},
       Variant::FromLong(3)},
      {"InvoiceBalance",
       [&](KX& k) { return Variant::FromCurrency(k.InvoiceBalance(kDb, inv982)); },
       u"Select Sum(Balance) From ActivityLog Where Active = 1 And InvoiceNumber = 982",
       {{MoneyField(12345)}},
       Variant::FromCurrency(Money(12345))},
      {"InvoiceFee",
       [&](KX& k) { return Variant::FromCurrency(k.InvoiceFee(kDb, inv982)); },
       u"Select Sum(Fee) From ActivityLog Where Active = 1 And InvoiceNumber = 982",
       {{Variant::Null()}},
       Variant::FromCurrency(Money(0))},
      {"LTCBenefitTypeEnabledYN",
       [&](KX& k) { return Variant::FromText(k.LTCBenefitTypeEnabledYN(kDb, p17, respite)); },
       u"Select Enabled From LTCBenefit Where PeopleID = 17 And BenefitType = 'Respite'",
       {{Variant::FromInteger(1)}, {Variant::FromInteger(0)}},
       Variant::FromText(u"Yes")},
      {"LTCBenefitTypeEnabledYN, empty type, Enabled 2",
       [&](KX& k) { return Variant::FromText(k.LTCBenefitTypeEnabledYN(kDb, m5, empty)); },
       u"Select Enabled From LTCBenefit Where PeopleID = -5 And BenefitType = ''",
       {{Variant::FromInteger(2)}},
       Variant::FromText(u"No")},
      {"PymtsByDateRange, every condition",
       [&](KX& k) {
         return Variant::FromCurrency(
             k.PymtsByDateRange(kDb, p17, Date(2011, 3, 1), Date(2011, 3, 31), hh1));
       },
       u"Select Sum(Payment) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
       u"ActivityLog.GUID Where Payment.Active = 1  And DateValue(Payment.PaymentDate) >= "
       u"#3/1/2011# And DateValue(Payment.PaymentDate) <= #3/31/2011#  And PeopleID = 17 And "
       u"CareProviderID = 'HH1'",
       {{MoneyField(255000)}},
       Variant::FromCurrency(Money(255000))},
      {"WOffsByDateRange, start on 1 January 2001 means no period",
       [&](KX& k) {
         return Variant::FromCurrency(
             k.WOffsByDateRange(kDb, p0, Date(2001, 1, 1, 23, 0), Date(2011, 3, 31), empty));
       },
       u"Select Sum(WriteOff) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
       u"ActivityLog.GUID Where Payment.Active = 1 ",
       {{Variant::Null()}},
       Variant::FromCurrency(Money(0))},
      {"FeesByDateRange, start 2 January 2001 with a time",
       [&](KX& k) {
         return Variant::FromCurrency(
             k.FeesByDateRange(kDb, m5, Date(2001, 1, 2, 10, 15), DateTime(), empty));
       },
       u"Select Sum(Fee) From ActivityLog Where Active = 1  And DateValue(ActivityDate) >= "
       u"#1/2/2001 10:15:00 AM# And DateValue(ActivityDate) <= #12:00:00 AM# ",
       {},
       Variant::FromCurrency(Money(0))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    env.database.statements.clear();
    Answer(c.statement, c.rows);
    EXPECT_EQ(c.call(kx), c.result);
    ExpectSent();
    EXPECT_TRUE(env.boxes.empty()) << ToUtf8(env.boxes.empty() ? Text() : env.boxes[0].prompt);
  }
}

TEST_F(LookupTest, QuotesInTextArgumentsAreDoubled) {
  const Long p7 = 7;
  const Text category = u"Client's Family";
  Answer(u"Select Max (DateEntered), Max (DateModified) From CaseClientContact Where PeopleID = "
         u"7 And Category = 'Client''s Family'",
         {{DateField(2011, 1, 1), Variant::Null()}});
  EXPECT_EQ(kx.LastModifiedCaseClient(kDb, category, p7), u"01/01/2011");
  ExpectSent();

  env.database.statements.clear();
  const Text crafted = u"x' Or 'a' = 'a";
  Answer(u"Select Enabled From LTCBenefit Where PeopleID = 7 And BenefitType = 'x'' Or ''a'' = ''a'",
         {});
  EXPECT_EQ(kx.LTCBenefitTypeEnabledYN(kDb, p7, crafted), u"No");
  ExpectSent();

  env.database.statements.clear();
  const Text prov = u"O'Brien";
  Answer(u"Select Sum(Fee) From ActivityLog Where Active = 1  And CareProviderID = 'O''Brien'",
         {{MoneyField(10000)}});
  EXPECT_EQ(kx.FeesByDateRange(kDb, Long{0}, DateTime(), DateTime(), prov), Money(10000));
  ExpectSent();
}

TEST_F(LookupTest, AHashInADateTextIsAnErrorOfTheCall) {
  const Long p17 = 17;
  const Text start = u"1/1/2011# Or #1/1/1900", end = u"1/2/2011";
  EXPECT_EQ(kx.PymtCountByDateRange(kDb, p17, start, end), -1);
  EXPECT_TRUE(env.database.statements.empty());
  ASSERT_EQ(env.boxes.size(), 1u);
  EXPECT_EQ(env.boxes[0].prompt, u"PymtCountByDateRange\r\n5\r\nInvalid procedure call or argument");
}

TEST_F(LookupTest, AClosingBracketInATableNameIsAnErrorOfTheCall) {
  const Long p42 = 42;
  for (const Text table : {u"Client] Where 1 = 1 Or [Client", u"]", u"Client]"}) {
    EXPECT_EQ(kx.LastModified(kDb, table, p42), u"Error in QORVEL.DLL") << ToUtf8(table);
  }
  EXPECT_TRUE(env.database.statements.empty());
  EXPECT_TRUE(env.boxes.empty());
}

TEST_F(LookupTest, DayFirstLocalePrintsInItsPatternAndSeparator) {
  LocaleScope german("de-DE");
  const Long p42 = 42;
  const Text client = u"Client";
  Answer(u"Select Max (DateEntered), Max (DateModified) From [Client] Where PeopleID = 42",
         {{DateField(2011, 9, 30), DateField(2011, 10, 1, 9, 0)}});
  EXPECT_EQ(kx.LastModified(kDb, client, p42), u"01.10.2011");
}

TEST_F(LookupTest, EmptyPathReturnsTheDefaultWithoutAConnection) {
  std::vector<Variant> args;
  for (const MethodInfo& m : Methods()) {
    if (m.number < 7 || m.number > 22) continue;
    args.assign(m.params.size(), Variant::FromText(u"1"));
    args[0] = Variant::FromText(u"");
    if (m.params.size() > 2 && m.params[2].type == VarType::kDate) {
      args[2] = args[3] = Variant::FromText(u"3/1/2011");
    }
    const InvokeResult r = Invoke(kx, m.name, args);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_TRUE(r.value == Variant::FromText(u"") || r.value == Variant::FromCurrency(Currency()) ||
                r.value == Variant::FromLong(0))
        << ToUtf8(m.name);
  }
  EXPECT_EQ(env.connections_created, 0);
  EXPECT_TRUE(env.database.calls.empty());
  EXPECT_TRUE(env.boxes.empty());
}

TEST_F(LookupTest, FailedConnectionGivesDefaultsAndOneBoxPerThread) {
  env.database.open_error = AutomationError(-2147217843, u"Not a valid password.");
  const Long p = 417;
  EXPECT_EQ(kx.CreditAmount(kDb, p), Currency());
  EXPECT_EQ(kx.LTCBenefitTypeEnabledYN(kDb, p, Text(u"x")), u"");
  EXPECT_EQ(kx.LastModified(kDb, Text(u"Client"), p), u"");
  ASSERT_EQ(env.boxes.size(), 1u);
  EXPECT_EQ(env.boxes[0].prompt.rfind(u"Unable to connect to /data/billing.mdb.\r\n", 0), 0u);
  EXPECT_TRUE(env.database.statements.empty());
}

TEST_F(LookupTest, FailingStatementsGiveErrorResultsWithOneBoxPerMethodAndObject) {
  // No scripted answers: every statement fails.
  const Long p = 417, inv = 982;
  const Integer s = 0, e = 30;
  const Text t = u"x";
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(kx.LastModified(kDb, t, p), u"Error in QORVEL.DLL");
    EXPECT_EQ(kx.LastModifiedCaseClient(kDb, t, p), u"Error in QORVEL.DLL");
    EXPECT_EQ(kx.LastPaymentDate(kDb, p), u"Error in QORVEL.DLL");
    EXPECT_EQ(kx.LastPaymentAmt(kDb, p), Money(-100));
    EXPECT_EQ(kx.CreditAmount(kDb, p), Money(-100));
    EXPECT_EQ(kx.CreditAmountRetainer(kDb, p), Money(-100));
    EXPECT_EQ(kx.PrevBalDue(kDb, p, inv), Money(-100));
    EXPECT_EQ(kx.PrevInvDateEntered(kDb, p, inv), u"");
    EXPECT_EQ(kx.AgedInvBalances(kDb, p, s, e), Money(-100));
    EXPECT_EQ(kx.PymtCountByDateRange(kDb, p, t, t), -1);
    EXPECT_EQ(kx.InvoiceBalance(kDb, inv), Money(-100));
    EXPECT_EQ(kx.InvoiceFee(kDb, inv), Money(-100));
    EXPECT_EQ(kx.LTCBenefitTypeEnabledYN(kDb, p, t), u"Error");
    EXPECT_EQ(kx.PymtsByDateRange(kDb, p, DateTime(), DateTime(), t), Money(-10000));
    EXPECT_EQ(kx.WOffsByDateRange(kDb, p, DateTime(), DateTime(), t), Money(-10000));
    EXPECT_EQ(kx.FeesByDateRange(kDb, p, DateTime(), DateTime(), t), Money(-10000));
    EXPECT_EQ(env.boxes.size(), 14u) << "round " << round;  // the two text-style methods show none
  }
  EXPECT_EQ(env.boxes[0].prompt,
            u"LastPaymentDate\r\n-2147217900\r\nSyntax error in the statement (no scripted answer).");
  KX fresh(&env);
  EXPECT_EQ(fresh.CreditAmount(kDb, p), Money(-100));
  EXPECT_EQ(env.boxes.size(), 15u);
}

TEST_F(LookupTest, ArgumentsPassedByReferenceAreUnchanged) {
  Long p = -7;
  Integer s = 30, e = 60;
  Answer(u"Select Balance, DateDiff('d', InvoiceDate, Now()) As Age From ActivityLog Where Active = "
         u"1 And InvoiceDate Is Not Null And PeopleID = -7",
         {});
  EXPECT_EQ(kx.AgedInvBalances(kDb, p, s, e), Currency());
  EXPECT_EQ(p, -7);
  EXPECT_EQ(s, 30);
  EXPECT_EQ(e, 60);
}

}  // namespace
}  // namespace qorvel
