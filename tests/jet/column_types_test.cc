// The column types that the billing files never use, read from files that
// the desktop database product wrote: calculated columns agree with the
// columns they are computed from, extended date/time values with the same
// dates kept as text, and columns of types the engine cannot read are named
// (in the table's list and in the error of a statement that names one).
// (Binary and OLE bytes are compared with mdb-export's in mdb_export_test.cc,
// converted copies in database_test.cc.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>

#include "jet/database.h"
#include "jet/errors.h"
#include "shared_dir.h"
#include "support/jet_support.h"

namespace qorvel::jet {
namespace {

using ::qorvel::testing::SharedPath;

constexpr char kCalculated[] = "fixtures/access-samples/calcFieldTestV2010.accdb";
constexpr char kUnknown[] = "fixtures/access-samples/unsupportedFieldsTestV2007.accdb";

// One row of a result, its cells found by column name.
struct Row {
  const ResultSet& rows;
  std::size_t row;
  const Variant& operator[](std::u16string_view name) const { return rows.at(row, Column(rows, name)); }
  Text text(std::u16string_view name) const { return (*this)[name].AsText(); }
  double money(std::u16string_view name) const { return (*this)[name].AsCurrency().ToDouble(); }
  double decimal(std::u16string_view name) const { return (*this)[name].AsDecimal().ToDouble(); }
  static std::size_t Column(const ResultSet& rows, std::u16string_view name) {
    for (std::size_t c = 0; c < rows.columns.size(); ++c) {
      if (rows.columns[c].name == name) return c;
    }
    throw std::out_of_range(ToUtf8(Text(name)));
  }
};

bool Near(double a, double b, double relative) { return std::fabs(a - b) <= relative * std::fabs(b); }

// One calculated column of each result type, and the largest figures.
TEST(CalculatedColumns, HoldTheValuesOfTheirExpressions) {
  QORVEL_REQUIRE_SHARED(kCalculated);
  const struct {
    const char16_t* column;
    JetType type;  // the result type of its expression
    std::function<bool(const Row&)> holds;
  } cases[] = {
      {u"LastFirst", JetType::kText,
       [](const Row& r) { return r.text(u"LastFirst") == r.text(u"LastName") + u", " + r.text(u"FirstName"); }},
      {u"LastFirstLen", JetType::kLong,
       [](const Row& r) { return r[u"LastFirstLen"].AsLong() == static_cast<Long>(r.text(u"LastFirst").size()); }},
      {u"MonthlySalary", JetType::kCurrency,
       [](const Row& r) {
         return r[u"MonthlySalary"].AsCurrency().raw() == std::llround(static_cast<double>(r[u"Salary"].AsCurrency().raw()) / 12);
       }},
      {u"IsRich", JetType::kBoolean,
       [](const Row& r) { return r[u"IsRich"].AsBoolean() == (r.money(u"Salary") > 100000); }},
      {u"AllNames", JetType::kMemo,
       [](const Row& r) {
         return r.text(u"AllNames") == r.text(u"LastName") + u", " + r.text(u"FirstName") + u"=" + r.text(u"LastFirst");
       }},
      {u"WeeklySalary", JetType::kNumeric,
       [](const Row& r) { return Near(r.decimal(u"WeeklySalary"), r.money(u"Salary") / 52, 1e-12); }},
      {u"FloatTest", JetType::kSingle,
       [](const Row& r) {
         return Near(r[u"FloatTest"].AsSingle(), r.money(u"Salary") * 0.13 / r.decimal(u"DecimalTest"), 1e-6);
       }},
      {u"BigNumTest", JetType::kNumeric,
       [](const Row& r) {
         return Near(r.decimal(u"BigNumTest"),
                     r.money(u"Salary") * r.money(u"MonthlySalary") / r.decimal(u"DecimalTest") * 34.12342134, 1e-9);
       }},
  };
  const ResultSet rows = testing::OpenShared(kCalculated)->ReadTable(u"Table1");
  ASSERT_EQ(rows.row_count(), 4u);
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.column));
    EXPECT_EQ(rows.columns[Row::Column(rows, c.column)].type, c.type);
    for (std::size_t r = 0; r < rows.row_count(); ++r) {
      EXPECT_TRUE(c.holds(Row{rows, r})) << "row " << r << ": " << testing::Describe(Row{rows, r}[c.column]);
    }
  }
}

TEST(UnsupportedColumns, AreNamedAndAStatementNamingOneSaysWhy) {
  QORVEL_REQUIRE_SHARED(kUnknown);
  auto db = testing::OpenShared(kUnknown);
  const TableInfo* table = db->FindTable(u"Test");
  ASSERT_NE(table, nullptr);
  const std::vector<UnsupportedColumn> expected = {{u"UnknownVar", u"unknown type 70"},
                                                   {u"UnknownFix", u"unknown type 71"},
                                                   {u"UnknownComplex", u"attachment, multi-value or version history"}};
  ASSERT_EQ(table->unsupported.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(table->unsupported[i].name, expected[i].name);
    EXPECT_EQ(table->unsupported[i].kind, expected[i].kind);
    const AutomationError e = testing::ErrorOf([&] { db->Execute(u"Select [" + expected[i].name + u"] From Test"); });
    EXPECT_EQ(e.number(), kErrUnsupportedType) << ToUtf8(expected[i].name);
    EXPECT_NE(e.description().find(u"The column '" + expected[i].name + u"' of table 'Test' has a type the engine "
                                   u"does not support (" + expected[i].kind + u")."),
              Text::npos)
        << ToUtf8(e.description());
  }
  // A name that is no column at all is still unknown.
  EXPECT_EQ(testing::ErrorOf([&] { db->Execute(u"Select NoSuchColumn From Test"); }).number(), kErrNoSuchColumn);
}

}  // namespace
}  // namespace qorvel::jet
