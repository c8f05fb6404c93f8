// What translated statements return: the columns of the lookup statements
// and their figures on empty tables and on rows made for them, the types
// and Nulls through each aggregate, exact money, the date functions around
// midnight and 30 December 1899, and case-insensitive text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>

#include "jet/sql/translator.h"
#include "jet/values.h"
#include "sql_test_support.h"
#include "support/jet_support.h"

namespace qorvel::sql_test {
namespace {

using jet::testing::ErrorOf;

const std::string kNull = "NULL";

// SQL text of values in their storage forms: a REAL (even when whole) for
// Single, Double and dates; ten-thousandths for money; text; a GUID.
std::string Real(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  const std::string text = buffer;
  return text.find_first_of(".eEn") == std::string::npos ? text + ".0" : text;
}
std::string D(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) { return Real(Date(y, m, d, hh, mm, ss)); }
std::string M(const char* money) { return std::to_string(*jet::ParseMoney(money)); }
std::string T(const char* text) { return "'" + std::string(text) + "'"; }  // text without quotes
std::string G(int n) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "'{00000000-0000-0000-0000-%012d}'", n);
  return buffer;
}

Variant Cur(const char* money) { return Variant::FromCurrency(Currency::FromRaw(*jet::ParseMoney(money))); }
Variant Dt(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  return Variant::FromDate(DateTime(Date(y, m, d, hh, mm, ss)));
}

// Rows for each lookup, with the cases that must not count beside the ones
// that must.
void InsertLookupRows(TestDatabase& db) {
  const std::string n = kNull;
  const std::vector<std::string> activity[] = {
      // GUID, PeopleID, Active, ActivityDate, Fee, Balance, InvoiceNumber, InvoiceDate, CareProviderID
      {G(1), "417", "1", D(2011, 2, 1), M("50"), M("40"), "980", D(2011, 2, 5), T("HH1")},
      {G(2), "417", "1", D(2011, 2, 15), M("30"), M("25.50"), "982", D(2011, 3, 1), T("HH1")},
      {G(3), "42", "1", D(2011, 2, 20), M("20"), M("10"), "982", D(2011, 3, 1), T("HH1")},
      {G(4), "417", "0", D(2011, 2, 21), M("99"), M("99"), "981", D(2011, 3, 1), T("HH1")},
      {G(5), "417", "1", D(2011, 2, 22), M("7"), n, "981", D(2011, 3, 1), T("HH1")},
      {G(6), "417", "1", D(2011, 2, 23), M("5"), M("5"), n, n, T("HH1")},
      {G(7), "17", "1", D(2011, 3, 1), M("11"), M("0"), n, n, T("HH1")},
      {G(8), "17", "1", D(2011, 3, 31, 23), M("13"), M("0"), n, n, T("hh1")},
      {G(9), "17", "1", D(2011, 4, 1), M("17"), M("0"), n, n, T("HH1")},
      {G(10), "17", "1", D(2011, 3, 15), M("19"), M("0"), n, n, T("HH 1")},
      {G(11), "17", "0", D(2011, 3, 15), M("23"), M("0"), n, n, T("HH1")},
      {G(12), "1234", "1", n, M("0"), M("100"), "990", D(2011, 3, 1, 23, 30), T("HH1")},
      {G(13), "1234", "1", n, M("0"), M("200"), "991", D(2011, 3, 31, 0, 10), T("HH1")},
      {G(14), "1234", "1", n, M("0"), n, "992", D(2099, 1, 1), T("HH1")},
      {G(15), "1234", "0", n, M("0"), M("400"), "993", D(2011, 1, 1), T("HH1")},
      {G(16), "1234", "1", n, M("0"), M("500"), n, n, T("HH1")},
  };
  for (const auto& row : activity) db.Insert("ActivityLog", row);
  const std::vector<std::string> payments[] = {
      // ActivityLogGUID, Active, PaymentDate, DateEntered, Payment, WriteOff
      {G(1), "1", D(2011, 3, 1, 14, 15), D(2011, 3, 1, 14, 15), M("15"), M("0")},
      {G(2), "1", D(2011, 3, 31, 23), D(2011, 4, 1), M("10"), M("0")},
      {G(2), "1", D(2011, 4, 10), D(2011, 4, 10), M("0"), M("0")},
      {G(4), "1", D(2011, 5, 1), D(2011, 5, 1), M("70"), M("0")},
      {G(99), "1", D(2011, 6, 1), D(2011, 6, 1), M("80"), M("0")},
      {G(1), "0", D(2011, 4, 15), D(2011, 4, 15), M("90"), M("0")},
      {G(1), "1", D(2011, 2, 1), D(2011, 2, 1), M("0.0001"), M("0")},
      {G(7), "1", D(2011, 3, 1), D(2011, 3, 1), M("1"), M("0.10")},
      {G(8), "1", D(2011, 3, 31, 23), D(2011, 3, 31, 23, 59, 59), M("2"), M("0.20")},
      {G(10), "1", D(2011, 3, 10), D(2011, 3, 10, 12), M("4"), M("0.40")},
      {G(7), "0", D(2011, 3, 5), D(2011, 3, 5), M("8"), M("0.80")},
      {G(9), "1", D(2011, 4, 1), D(2011, 4, 1), M("16"), M("1.60")},
      {G(11), "1", D(2011, 3, 20), D(2011, 3, 20), M("32"), M("3.20")},
  };
  for (const auto& row : payments) db.Insert("Payment", row);
  // PeopleID, Balance, Active, Retainer
  for (const auto& row : {std::vector<std::string>{"417", M("100"), "1", "0"}, {"417", M("250.50"), "1", "1"},
                          {"417", M("-20"), "1", "0"}, {"417", n, "1", "0"}, {"417", M("1000"), "0", "1"},
                          {"500", M("19.99"), "1", "0"}, {"500", M("0.57"), "1", "0"}}) {
    db.Insert("Credit", row);
  }
  // InvoiceNumber, PeopleID, Status, DateEntered
  for (const auto& row : {std::vector<std::string>{"980", "417", "1", D(2011, 2, 5, 10)},
                          {"981", "417", "1", D(2011, 3, 1)}, {"982", "417", "0", D(2011, 4, 1)},
                          {"983", "417", "1", D(2099, 1, 1)}}) {
    db.Insert("Invoice", row);
  }
  // PeopleID, Category, DateEntered, DateModified
  for (const auto& row : {std::vector<std::string>{"42", T("Billing"), D(2011, 9, 30), D(2011, 10, 1)},
                          {"42", T("BILLING"), D(2011, 8, 1), n}, {"42", T("Other"), D(2012, 1, 1), D(2012, 1, 2)},
                          {"7", T("Billing"), D(2013, 1, 1), D(2013, 1, 1)}}) {
    db.Insert("CaseClientContact", row);
  }
  db.Insert("Client", {"42", T("Ann"), D(2010, 1, 1), n});  // PeopleID, FirstName, DateEntered, DateModified
  // PeopleID, BenefitType, Enabled
  for (const auto& row : {std::vector<std::string>{"17", T("Respite"), "1"}, {"17", T("Other"), "2"},
                          {"18", T("Respite"), "0"}}) {
    db.Insert("LTCBenefit", row);
  }
}

using Rows = std::vector<std::vector<Variant>>;

TEST(Results, LookupStatementsGiveTheirColumnsAndFigures) {
  TestDatabase db(LookupCatalog());
  for (const LookupStatement& lookup : LookupStatements()) {
    SCOPED_TRACE(lookup.method);
    Result result;
    ASSERT_NO_THROW(result = db.Run(lookup.text));
    ASSERT_EQ(result.columns.size(), lookup.columns.size());
    std::vector<Variant> aggregate;  // over empty tables: Null, but 0 for Count(*)
    for (std::size_t i = 0; i < lookup.columns.size(); ++i) {
      EXPECT_EQ(result.columns[i].name, lookup.columns[i].name);
      EXPECT_EQ(result.columns[i].type, lookup.columns[i].type) << "column " << i;
      aggregate.push_back(lookup.columns[i].type == JetType::kLong ? Variant::FromLong(0) : Variant::Null());
    }
    // On empty tables an aggregate gives one row, a plain selection none.
    EXPECT_EQ(result.rows, lookup.columns[0].name.starts_with(u"Expr") ? Rows{aggregate} : Rows{});
  }
  InsertLookupRows(db);
  db.set_now(DateTime(Date(2011, 4, 1, 8)));
  const Long future_age = static_cast<Long>(Date(2011, 4, 1) - Date(2099, 1, 1));
  const std::vector<Rows> expected = {
      {{Dt(2010, 1, 1), Variant::Null()}},                // LastModified
      {{Dt(2011, 9, 30), Dt(2011, 10, 1)}},               // LastModifiedCaseClient
      {{Dt(2011, 3, 31, 23)}},                            // LastPaymentDate
      {{Cur("10")}, {Cur("15")}, {Cur("0.0001")}},        // LastPaymentAmt
      {{Cur("330.50")}},                                  // CreditAmount
      {{Cur("250.50")}},                                  // CreditAmountRetainer
      {{Cur("40")}},                                      // PrevBalDue
      {{Dt(2011, 3, 1)}},                                 // PrevInvDateEntered
      {{Cur("35.50")}},                                   // InvoiceBalance
      {{Cur("50")}},                                      // InvoiceFee
      {{Variant::Null(), Variant::FromLong(future_age)},  // AgedInvBalances
       {Cur("200"), Variant::FromLong(1)},                //   (sorted by age)
       {Cur("100"), Variant::FromLong(31)}},
      {{Variant::FromLong(3)}},     // PymtCountByDateRange
      {{Cur("35")}},                // PymtsByDateRange
      {{Cur("3.50")}},              // WOffsByDateRange
      {{Cur("24")}},                // FeesByDateRange
      {{Cur("150.0001")}},          // ... without conditions
      {{Cur("60")}},                // ... with the person only
      {{Variant::FromInteger(1)}},  // LTCBenefitTypeEnabledYN
  };
  ASSERT_EQ(expected.size(), LookupStatements().size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const LookupStatement& lookup = LookupStatements()[i];
    SCOPED_TRACE(lookup.method);
    Result result;
    ASSERT_NO_THROW(result = db.Run(lookup.text));
    if (lookup.columns.size() == 2 && lookup.columns[1].name == u"Age") {
      std::sort(result.rows.begin(), result.rows.end(),
                [](const auto& a, const auto& b) { return a[1].AsLong() < b[1].AsLong(); });
    }
    EXPECT_EQ(result.rows, expected[i]);
  }
}

void InsertAllTypesRows(TestDatabase& db) {
  // Grp, Byt, Int, Lng, Sng, Dbl, Cur, Dat, Txt, Mem, Boo, Gid, Num
  const std::string n = kNull;
  db.Insert("AllTypes", {"1", "1", "2", "3", Real(1.5), Real(2.25), "4611686018427387903", Real(40000.5), T("apple"),
                         T("memo a"), "-1", T("{00000000-0000-0000-0000-00000000000A}"), T("9.5")});
  db.Insert("AllTypes", {"1", "255", "-2", "2147483647", Real(2.5), Real(0.25), "2", Real(-1.25), T("Zebra"),
                         T("Memo B"), "0", T("{F0000000-0000-0000-0000-000000000000}"), T("10.25")});
  db.Insert("AllTypes", {"1", "3", n, n, n, n, n, n, T("mango"), n, n, n, n});
  db.Insert("AllTypes", {"2", n, n, n, n, n, n, n, n, n, n, n, n});
  db.Insert("AllTypes", {"3", n, n, n, n, n, "9000000000000000000", n, n, n, n, n, n});
  db.Insert("AllTypes", {"3", n, n, n, n, n, "300000000000000000", n, n, n, n, n, n});
}

TEST(Results, AggregatesKeepTheirTypesAndGiveNullOverNullsOrNoRows) {
  TestDatabase db(LookupCatalog());
  InsertAllTypesRows(db);
  const std::tuple<const char16_t*, JetType, Variant> kCases[] = {  // the item, its type, over group 1's three rows
      {u"Sum(Lng)", JetType::kDouble, Variant::FromDouble(2147483650.0)},
      {u"Max (Cur)", JetType::kCurrency, Variant::FromCurrency(Currency::FromRaw(4611686018427387903))},
      // Exact beyond 2^53: a double would round this sum.
      {u"Sum(Cur)", JetType::kCurrency, Variant::FromCurrency(Currency::FromRaw(4611686018427387905))},
      // Case-insensitive: "Zebra" is above "mango" and "apple".
      {u"Max (Txt)", JetType::kText, Variant::FromText(u"Zebra")},
      {u"Max (Gid)", JetType::kGuid, Variant::FromText(u"{F0000000-0000-0000-0000-000000000000}")},
      // By value, not by text: 10.25 is above 9.5.
      {u"Max (Num)", JetType::kNumeric, Variant::FromText(u"10.25")},
      {u"Sum(Num)", JetType::kDouble, Variant::FromDouble(19.75)},
      {u"Max (DateValue(Dat))", JetType::kDateTime, Variant::FromDate(DateTime(40000.0))},
      {u"Max (DateDiff('d', Dat, Dat))", JetType::kLong, Variant::FromLong(0)},
      {u"Sum(DateDiff('d', Dat, #1/1/2000#))", JetType::kDouble,
       Variant::FromDouble((Date(2000, 1, 1) - 40000.0) + (Date(2000, 1, 1) + 1.0))},
      {u"Count(*)", JetType::kLong, Variant::FromLong(3)},
  };
  for (const auto& [item, type, rows] : kCases) {
    const bool count = std::u16string_view(item) == u"Count(*)";
    // Group 2 is one row of Nulls; group 99 has no rows.
    for (const auto& [group, expected] : {std::pair{u"1", rows}, {u"2", count ? Variant::FromLong(1) : Variant::Null()},
                                          {u"99", count ? Variant::FromLong(0) : Variant::Null()}}) {
      const Result result = db.Run(u"Select " + std::u16string(item) + u" From AllTypes Where Grp = " + group);
      ASSERT_EQ(result.columns.size(), 1u);
      EXPECT_EQ(result.columns[0].type, type) << ToUtf8(item);
      EXPECT_EQ(result.rows, (Rows{{expected}})) << ToUtf8(item) << " over group " << ToUtf8(group);
    }
  }
}

TEST(Results, MoneyIsExact) {
  TestDatabase db(LookupCatalog());
  InsertLookupRows(db);
  InsertAllTypesRows(db);
  const std::pair<const char16_t*, Long> kCases[] = {  // the condition, the payments it counts
      {u"Payment > 0", 12},  // 0.0001 counts, 0.00 does not
      {u"Payment = 0.0001", 1}, {u"Payment <= 1.00", 3}, {u"WriteOff = 0.4", 1},
      {u"Payment > #1/1/1900#", 9},  // a date is its number of days (2 here)
  };
  for (const auto& [where, count] : kCases) {
    const std::u16string statement = u"Select Count(*) From Payment Where " + std::u16string(where);
    EXPECT_EQ(db.Run(statement).rows[0][0], Variant::FromLong(count)) << ToUtf8(where);
  }
  // 19.99 * 10000 and 0.57 * 10000 are not whole in binary floating point.
  EXPECT_EQ(db.Run(u"Select Sum(Balance) From Credit Where Balance = 19.99").rows[0][0], Cur("19.99"));
  EXPECT_EQ(db.Run(u"Select Sum(Balance) From Credit Where PeopleID = 500 And Balance <= 0.57").rows[0][0],
            Cur("0.57"));
  // A sum beyond the Currency range is an error; the Max of the same rows is not.
  const AutomationError error = ErrorOf([&] { db.Run(u"Select Sum(Cur) From AllTypes Where Grp = 3"); });
  EXPECT_EQ(error.number(), jet::kErrEngineFailure);
  EXPECT_NE(error.description().find(u"Overflow"), std::u16string::npos) << error.what();
  EXPECT_EQ(db.Run(u"Select Max (Cur) From AllTypes Where Grp = 3").rows[0][0],
            Variant::FromCurrency(Currency::FromRaw(9000000000000000000)));
}

TEST(Results, TextComparesCaseInsensitively) {
  TestDatabase db(LookupCatalog());
  InsertLookupRows(db);
  InsertAllTypesRows(db);
  const std::pair<const char16_t*, std::size_t> kCases[] = {  // the statement, its rows
      {u"Select Enabled From LTCBenefit Where PeopleID = 17 And BenefitType = 'RESPITE'", 1},
      {u"Select Enabled From LTCBenefit Where 'respite' = BenefitType", 2},
      {u"Select Enabled From LTCBenefit Where BenefitType > 'q'", 2},  // 'R' sorts after 'q'
      {u"Select Enabled From LTCBenefit Where BenefitType = 'Respit'", 0},
      {u"Select Fee From ActivityLog Where CareProviderID = 'hh1' And PeopleID = 17", 4},
      {u"Select Grp From AllTypes Where Gid = '{00000000-0000-0000-0000-00000000000a}'", 1},  // GUIDs too
  };
  for (const auto& [statement, rows] : kCases) EXPECT_EQ(db.Run(statement).rows.size(), rows) << ToUtf8(statement);
}

// DateDiff('d', a, b) and DateValue(a) over pairs of dates (DateEntered,
// DateModified of CaseClientContact, keyed by PeopleID).
TEST(Results, DateFunctionsCountCalendarDayBoundariesAndPassNullThrough) {
  const struct { double a, b; long long diff; double date_a; } kCases[] = {
      {40000.99, 40001.01, 1, 40000.0},   // across midnight, 29 minutes apart
      {40000.01, 40000.99, 0, 40000.0},   // most of a day, no midnight
      {40001.01, 40000.99, -1, 40001.0},  // backwards
      {-1.25, 0.5, 1, -1.0},    // 29 Dec 1899 06:00 to 30 Dec 12:00
      {-1.75, -1.25, 0, -1.0},  // both 29 Dec 1899: 18:00 and 06:00
      {-0.5, 0.25, 0, 0.0},     // 30 Dec 1899 12:00 (negative form) and 06:00
      {0.0, -1.25, -1, 0.0}, {Date(100, 1, 1), Date(9999, 12, 31, 23, 59, 59), 2958465 + 657434, Date(100, 1, 1)},
  };
  TestDatabase db(LookupCatalog());
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    db.Insert("CaseClientContact", {std::to_string(i), T("x"), Real(kCases[i].a), Real(kCases[i].b)});
  }
  const std::u16string select =
      u"Select DateDiff('d', DateEntered, DateModified), DateValue(DateEntered) From CaseClientContact Where "
      u"PeopleID = ";
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    const auto& c = kCases[i];
    EXPECT_EQ(db.Run(select + FromUtf8(std::to_string(i))).rows,
              (Rows{{Variant::FromLong(static_cast<Long>(c.diff)), Variant::FromDate(DateTime(c.date_a))}}))
        << c.a << " to " << c.b;
  }
  const Variant null = Variant::Null();
  db.Insert("CaseClientContact", {"100", T("x"), kNull, D(2011, 1, 1)});
  db.Insert("CaseClientContact", {"101", T("x"), D(2011, 1, 1), kNull});
  EXPECT_EQ(db.Run(u"Select DateDiff('d', DateEntered, DateModified), DateValue(DateEntered), "
                   u"DateValue(DateModified) From CaseClientContact Where PeopleID >= 100 Order By PeopleID")
                .rows,
            (Rows{{null, null, Dt(2011, 1, 1)}, {null, Dt(2011, 1, 1), null}}));
}

TEST(Results, NowComesFromTheClock) {
  TestDatabase db(LookupCatalog());
  db.Insert("Invoice", {"1", "1", "1", D(2011, 3, 31, 23, 30)});
  const std::u16string statement =
      u"Select DateDiff('d', DateEntered, Now()) As Age, Now() From Invoice Where DateEntered < Now()";
  db.set_now(DateTime(Date(2011, 4, 1, 0, 5)));
  EXPECT_EQ(db.Run(statement).rows, (Rows{{Variant::FromLong(1), Dt(2011, 4, 1, 0, 5)}}));
  db.set_now(DateTime(Date(2011, 3, 31)));
  EXPECT_TRUE(db.Run(statement).rows.empty());
  // A function given a value of the wrong kind raises the engine's error.
  db.Exec("INSERT INTO m_Invoice VALUES (1, 1, 1, 'not a date')");
  EXPECT_EQ(ErrorOf([&] { db.Run(u"Select DateValue(DateEntered) From Invoice"); }).number(), jet::kErrTypeMismatch);
}

}  // namespace
}  // namespace qorvel::sql_test
