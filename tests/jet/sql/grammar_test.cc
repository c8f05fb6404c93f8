// The grammar of the dialect: statements just outside the dialect are
// syntax errors, names resolve or fail with the right error, type errors
// are caught, and shapes agree with translations. (The lookups' own
// statements are run on the fixtures, tests/cases/calls.tsv.)
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

#include "jet/sql/functions.h"
#include "jet/sql/translator.h"
#include "sql_test_support.h"
#include "support/jet_support.h"

namespace qorvel::sql_test {
namespace {

using jet::sql::Shape;
using jet::sql::ShapedStatement;
using jet::sql::Translate;
using jet::testing::ErrorOf;

TEST(Grammar, KeywordsAndNamesAreCaseInsensitive) {
  const FakeCatalog catalog = LookupCatalog();
  EXPECT_EQ(Translate(u"SELECT sum(BALANCE) from CREDIT where ACTIVE = 1 and peopleid = 417", catalog, ReadTestDate)
                .sqlite_sql,
            Translate(u"Select Sum(Balance) From Credit Where Active = 1 And PeopleID = 417", catalog, ReadTestDate)
                .sqlite_sql);
  TestDatabase db(LookupCatalog());
  const Result result = db.Run(
      u"select payment.PAYMENT, [paymentdate] as [When] from PAYMENT inner join activitylog on "
      u"ActivityLogGuid = Guid where PAYMENT.active = 1");
  ASSERT_EQ(result.columns.size(), 2u);
  EXPECT_EQ(result.columns[0].name, u"Payment");  // the catalog's spelling
  EXPECT_EQ(result.columns[1].name, u"When");
}

// Statements the translator refuses, with the error number and what the
// description must hold (a syntax error need only have one).
TEST(Grammar, StatementsOutsideTheDialectOrCatalogAreErrors) {
  using jet::kErrEngineFailure, jet::kErrNoSuchColumn, jet::kErrNoSuchTable, jet::kErrSyntax, jet::kErrTypeMismatch;
  std::u16string deep = u"Select ";
  for (int i = 0; i < 10000; ++i) deep += u"DateValue(";
  deep += u"Dat" + std::u16string(10000, u')') + u" From AllTypes";
  const struct { std::u16string statement; long number = kErrSyntax; const char16_t* named = u""; } kCases[] = {
      {u""}, {u"Select Max(Balance From Credit"}, {u"Select * From Credit"},
      {u"Select Balance From Credit Where Active = 1 Or PeopleID = 2", kErrSyntax, u"character 45 near 'Or PeopleID"},
      {u"Select Enabled From LTCBenefit Where BenefitType = 'it''s"},
      {u"Select Max (DateEntered) From Invoice Where DateEntered > #1/1/2011"},
      {u"Select Max (DateEntered) From Invoice Where DateEntered > #not a date#"},
      {u"Select Balance From [Credit"}, {u"Select [] From Credit"}, {u"Select Count(Balance) From Credit"},
      {u"Select Min(Balance) From Credit"}, {u"Select Sum(1) From Credit"}, {u"Select Sum(Max (Balance)) From Credit"},
      {u"Select Balance From Credit Where PeopleID <> 1"}, {u"Select Balance From Credit Where PeopleID Is Null"},
      {u"Select Balance From Credit Where Not Active = 1"}, {u"Select Balance From Credit Where Active = 1 And"},
      {u"Select Balance From Credit Where PeopleID = 1And Active = 1"},
      {u"Select Balance From Credit Where PeopleID\u00A0= 1"},
      {u"Select Balance From Credit Where PeopleID Between 1 And 2"},
      {u"Select Balance From Credit Order By PeopleID Asc"}, {u"Select Balance B From Credit"},
      {u"Select Balance As From Credit"},
      {u"Select Balance From Credit Inner Join Payment On Credit.PeopleID < Payment.Active"},
      {u"Select DateDiff('m', InvoiceDate, Now()) From ActivityLog"},
      {u"Select DateDiff(InvoiceDate, Now()) From ActivityLog"}, {u"Select Balance, Sum(Balance) From Credit"},
      {u"Select Sum(Balance) From Credit Order By PeopleID"},
      {u"Select Count(*) From Payment Inner Join ActivityLog On Payment.Active = Payment.Active"},
      {deep},  // nesting is bounded
      {u"Select Balance From Nowhere", kErrNoSuchTable, u"'Nowhere'"},
      {u"Select Count(*) From Payment Inner Join Nowhere On Payment.Active = Nowhere.x", kErrNoSuchTable,
       u"'Nowhere'"},
      {u"Select Bogus From Credit", kErrNoSuchColumn, u"'Bogus'"},
      {u"Select Credit.Bogus From Credit", kErrNoSuchColumn, u"'Credit.Bogus'"},
      {u"Select Invoice.Balance From Credit", kErrNoSuchColumn, u"'Invoice.Balance'"},
      // Ambiguous names.
      {u"Select Count(*) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = ActivityLog.GUID "
       u"Where Active = 1",
       kErrEngineFailure, u"'Active'"},
      {u"Select Count(*) From Credit Inner Join Credit On Credit.PeopleID = Credit.Active", kErrEngineFailure,
       u"'Credit.PeopleID'"},
      // Comparisons and functions of incompatible types.
      {u"Select Balance From Credit Where PeopleID = '42'", kErrTypeMismatch, u"mismatch"},
      {u"Select Enabled From LTCBenefit Where BenefitType = 1", kErrTypeMismatch, u"mismatch"},
      {u"Select Max (DateEntered) From Invoice Where 'x' < DateEntered", kErrTypeMismatch, u"mismatch"},
      {u"Select Sum(DateEntered) From Invoice", kErrTypeMismatch, u"mismatch"},
      {u"Select DateValue(PeopleID) From Invoice", kErrTypeMismatch, u"mismatch"},
      {u"Select Count(*) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = ActivityLog.Active",
       kErrTypeMismatch, u"mismatch"},
  };
  const FakeCatalog catalog = LookupCatalog();
  EXPECT_NO_THROW(Translate(u"Select DateValue(DateValue(Dat)) From AllTypes", catalog, ReadTestDate));
  for (const auto& c : kCases) {
    const AutomationError error = ErrorOf([&] { Translate(c.statement, catalog, ReadTestDate); });
    EXPECT_EQ(error.number(), c.number) << ToUtf8(c.statement.substr(0, 120)) << ": " << error.what();
    EXPECT_FALSE(error.description().empty());
    EXPECT_NE(error.description().find(c.named), std::u16string::npos) << error.what();
  }
  for (const char16_t* untokenisable : {u"Select Balance From Credit Where Category = 'abc", u"Select x From [A]]",
                                        u"Select Max (DateEntered) From Invoice Where DateEntered > #13/45/2011#"}) {
    EXPECT_EQ(ErrorOf([&] { Shape(untokenisable, ReadTestDate); }).number(), kErrSyntax) << ToUtf8(untokenisable);
  }
}

TEST(Grammar, LiteralsComeOutInTheirNaturalForms) {
  const ShapedStatement shaped = Shape(
      u"Select Enabled From LTCBenefit Where BenefitType = 'it''s' And PeopleID = -7 And "
      u"PeopleID = 2147483647 And PeopleID = -2147483648 And PeopleID = 2147483648 And "
      u"PeopleID = 1.5 And PeopleID = 1e3 And PeopleID = 007 And BenefitType = '' And "
      u"PeopleID > #2011-03-31 23:59:59#",
      ReadTestDate);
  const std::vector<Variant> expected = {
      Variant::FromText(u"it's"),     Variant::FromLong(-7),      Variant::FromLong(2147483647),
      Variant::FromLong(-2147483647 - 1), Variant::FromDouble(2147483648.0), Variant::FromDouble(1.5),
      Variant::FromDouble(1000.0),    Variant::FromLong(7),       Variant::FromText(u""),
      Variant::FromDate(DateTime(Date(2011, 3, 31, 23, 59, 59))),
  };
  EXPECT_EQ(shaped.literals, expected);
}

// The engine caches translations by shape: statements that differ only in
// their literals share a shape and a translation, with the literals as its
// parameters; literals of another kind, a bracketed name or another
// DateDiff interval make another shape.
TEST(Grammar, ShapesTellStatementsApartOnlyByWhatIsNotALiteral) {
  const FakeCatalog catalog = LookupCatalog();
  const char16_t* a = u"Select Count(*) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
                      u"ActivityLog.GUID Where Payment.DateEntered > #3/1/2011# And PeopleID = 17";
  const char16_t* b = u"Select Count(*) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
                      u"ActivityLog.GUID Where Payment.DateEntered > #12/31/2010 13:00#  And PeopleID=4.5";
  EXPECT_EQ(Shape(a, ReadTestDate).shape, Shape(b, ReadTestDate).shape);
  const jet::sql::Translation ta = Translate(a, catalog, ReadTestDate), tb = Translate(b, catalog, ReadTestDate);
  EXPECT_EQ(ta.sqlite_sql, tb.sqlite_sql);
  EXPECT_EQ(tb.parameters, (std::vector<Variant>{Variant::FromDate(DateTime(Date(2010, 12, 31, 13))),
                                                 Variant::FromDouble(4.5)}));
  const char16_t* const kDistinct[] = {
      u"Select Balance From Credit Where PeopleID = 42", u"Select Balance From Credit Where PeopleID = '42'",
      u"Select Balance From Credit Where PeopleID = #4/2/2011#", u"Select Balance From Credit Where PeopleID = [42]",
      u"Select DateDiff('m', InvoiceDate, Now()) From ActivityLog",
      u"Select DateDiff('d', InvoiceDate, Now()) From ActivityLog",
  };
  std::set<std::u16string> shapes;
  for (const char16_t* statement : kDistinct) shapes.insert(Shape(statement, ReadTestDate).shape);
  EXPECT_EQ(shapes.size(), std::size(kDistinct));
}

TEST(Grammar, NumericTextsCompareByValue) {
  const std::tuple<const char*, const char*, int> kCases[] = {  // a, b, the sign of their comparison
      {"9.5", "10.25", -1}, {"-12.34", "-2", -1}, {"0", "-0", 0}, {"1.5", "1.50", 0},
      {"0.1", "0.09", 1},   {"-0.1", "0", -1},    {"5", "x", -1}, {"100", "99.999", 1},
  };
  const auto sign = [](int n) { return (n > 0) - (n < 0); };
  for (const auto& [a, b, expected] : kCases) {
    EXPECT_EQ(sign(jet::sql::CompareDecimalText(a, b)), expected) << a << " vs " << b;
    EXPECT_EQ(sign(jet::sql::CompareDecimalText(b, a)), -expected) << b << " vs " << a;
  }
}

}  // namespace
}  // namespace qorvel::sql_test
