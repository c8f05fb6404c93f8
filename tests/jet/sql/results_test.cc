// What translated statements return: the types and Nulls through each
// aggregate, exact money, Now() and case-insensitive text. (The lookups'
// statements are run on the fixtures, tests/cases/calls.tsv.) (The date
// functions' day numbers are DateTime's, tests/base/values_test.cc.)
#include <gtest/gtest.h>

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
// Single, Double and dates; ten-thousandths for money; text.
std::string Real(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  const std::string text = buffer;
  return text.find_first_of(".eEn") == std::string::npos ? text + ".0" : text;
}
std::string D(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) { return Real(Date(y, m, d, hh, mm, ss)); }
std::string M(const char* money) { return std::to_string(*jet::ParseMoney(money)); }
std::string T(const char* text) { return "'" + std::string(text) + "'"; }  // text without quotes
const std::string kGuid = "'{00000000-0000-0000-0000-000000000001}'";

Variant Cur(const char* money) { return Variant::FromCurrency(Currency::FromRaw(*jet::ParseMoney(money))); }
Variant Dt(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  return Variant::FromDate(DateTime(Date(y, m, d, hh, mm, ss)));
}

using Rows = std::vector<std::vector<Variant>>;

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
  InsertAllTypesRows(db);
  for (const auto& [payment, write_off] : {std::pair{"0", "0"}, {"0.0001", "0"}, {"1", "0.10"}, {"2", "0.20"},
                                           {"4", "0.40"}, {"16", "1.60"}}) {
    db.Insert("Payment", {kGuid, "1", D(2011, 3, 1), D(2011, 3, 1), M(payment), M(write_off)});
  }
  const std::pair<const char16_t*, Long> kCases[] = {  // the condition, the payments it counts
      {u"Payment > 0", 5},  // 0.0001 counts, 0.00 does not
      {u"Payment = 0.0001", 1}, {u"Payment <= 1.00", 3}, {u"WriteOff = 0.4", 1},
      {u"Payment > #1/1/1900#", 2},  // a date is its number of days (2 here)
  };
  for (const auto& [where, count] : kCases) {
    const std::u16string statement = u"Select Count(*) From Payment Where " + std::u16string(where);
    EXPECT_EQ(db.Run(statement).rows[0][0], Variant::FromLong(count)) << ToUtf8(where);
  }
  // 19.99 * 10000 and 0.57 * 10000 are not whole in binary floating point.
  db.Insert("Credit", {"500", M("19.99"), "1", "0"});
  db.Insert("Credit", {"500", M("0.57"), "1", "0"});
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
  InsertAllTypesRows(db);
  for (const char* code : {"HH1", "hh1", "HH 1"}) {
    db.Insert("ActivityLog", {kGuid, "17", "1", kNull, M("1"), kNull, kNull, kNull, T(code)});
  }
  db.Insert("LTCBenefit", {"17", T("Respite"), "1"});
  db.Insert("LTCBenefit", {"17", T("Other"), "2"});
  db.Insert("LTCBenefit", {"18", T("Respite"), "0"});
  const std::pair<const char16_t*, std::size_t> kCases[] = {  // the statement, its rows
      {u"Select Enabled From LTCBenefit Where PeopleID = 17 And BenefitType = 'RESPITE'", 1},
      {u"Select Enabled From LTCBenefit Where 'respite' = BenefitType", 2},
      {u"Select Enabled From LTCBenefit Where BenefitType > 'q'", 2},  // 'R' sorts after 'q'
      {u"Select Enabled From LTCBenefit Where BenefitType = 'Respit'", 0},
      {u"Select Fee From ActivityLog Where CareProviderID = 'hH1' And PeopleID = 17", 2},
      {u"Select Grp From AllTypes Where Gid = '{00000000-0000-0000-0000-00000000000a}'", 1},  // GUIDs too
  };
  for (const auto& [statement, rows] : kCases) EXPECT_EQ(db.Run(statement).rows.size(), rows) << ToUtf8(statement);
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
