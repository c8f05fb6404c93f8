// The statement of the demo client: every figure recomputed here straight
// from the demo rows with plain SQLite, and compared with what the report
// functions gave the statement; its page; and the demo database itself.
#include "statement.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <thread>

#include "demo_db.h"
#include "host_support.h"

namespace qorvel::tool {
namespace {

using testing::EngineEnv;
using testing::LocaleScope;

constexpr char kToday[] = "2026-12-06";

// The first column of the first row of a query, as text ("" for none or
// Null).
std::string QueryText(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
  std::string value;
  if (stmt && sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0)) {
    value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  }
  sqlite3_finalize(stmt);
  return value;
}

// A query that yields one number (in cents for money), Null as 0.
long long QueryNumber(sqlite3* db, const std::string& sql) {
  const std::string text = QueryText(db, sql);
  return text.empty() ? 0 : std::stoll(text);
}

Currency Cents(long long cents) { return Currency::FromRaw(cents * 100); }

class DemoStatement : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(WriteDemoDatabase(path_.string(), kToday), "");
    ASSERT_EQ(sqlite3_open_v2(path_.string().c_str(), &db_, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  }
  void TearDown() override { sqlite3_close(db_); }
  // The statement, built on a thread of its own: the lookups' connection is
  // the thread's, made through this test's env.
  StatementData Build(Long client) {
    StatementData s;
    std::thread([&] { s = BuildStatement(kx, path_.string(), client, env.now); }).join();
    return s;
  }
  testing::TempDir dir_;
  std::filesystem::path path_ = dir_ / "demo.sqlite";
  sqlite3* db_ = nullptr;
  LocaleScope scope_{"en-US"};
  EngineEnv env;
  KX kx{&env};
};

TEST_F(DemoStatement, FiguresAgreeWithTheRows) {
  env.now = DateTime(DateTime::FromParts(2026, 12, 6)->value() + 0.5);
  const StatementData s = Build(kDemoClient);
  EXPECT_TRUE(env.boxes.empty());

  const std::string id = std::to_string(kDemoClient);
  auto sum = [&](const std::string& column, const std::string& rest) {
    return Cents(QueryNumber(db_, "SELECT CAST(ROUND(SUM(" + column + ") * 100) AS INTEGER) " + rest));
  };
  const std::string joined = "FROM Payment p JOIN ActivityLog a ON p.ActivityLogGUID = a.GUID ";

  EXPECT_EQ(s.name, u"John Q. O'Brien");
  EXPECT_EQ(s.credits, sum("Balance", "FROM Credit WHERE Active = 1 AND PeopleID = " + id));
  EXPECT_EQ(s.retainer, sum("Balance", "FROM Credit WHERE Active = 1 AND Retainer = 1 AND PeopleID = " + id));
  EXPECT_GT(s.retainer, Currency());

  const long long latest = QueryNumber(db_, "SELECT MAX(InvoiceNumber) FROM Invoice WHERE PeopleID = " + id);
  EXPECT_EQ(s.latest_invoice, latest);
  EXPECT_EQ(s.invoice_balance, sum("Balance", "FROM ActivityLog WHERE Active = 1 AND InvoiceNumber = " + std::to_string(latest)));
  EXPECT_EQ(s.previous_balance_due,
            sum("Balance", "FROM ActivityLog WHERE Active = 1 AND InvoiceNumber < " + std::to_string(latest) +
                               " AND PeopleID = " + id));

  // Ageing: whole days from the invoice date to today.
  const std::string age = "(julianday('2026-12-06') - julianday(date(InvoiceDate)))";
  const std::pair<int, int> buckets[] = {{0, 30}, {30, 60}, {60, 90}, {90, 32767}};
  for (std::size_t b = 0; b < 4; ++b) {
    const Currency expected =
        sum("IFNULL(Balance, 0)", "FROM ActivityLog WHERE Active = 1 AND InvoiceDate IS NOT NULL AND PeopleID = " + id +
                                      " AND " + age + " >= " + std::to_string(buckets[b].first) + " AND " + age +
                                      " < " + std::to_string(buckets[b].second));
    EXPECT_EQ(s.ageing[b].balance, expected) << "bucket " << b;
    EXPECT_GT(s.ageing[b].balance, Currency()) << "bucket " << b;  // every section filled
  }

  // The last twelve months, on calendar dates, both ends included.
  const std::string period = " BETWEEN '2025-12-06' AND '2026-12-06'";
  EXPECT_EQ(s.payments, sum("p.Payment", joined + "WHERE p.Active = 1 AND a.PeopleID = " + id +
                                             " AND date(p.PaymentDate)" + period));
  EXPECT_EQ(s.write_offs, sum("p.WriteOff", joined + "WHERE p.Active = 1 AND a.PeopleID = " + id +
                                                " AND date(p.PaymentDate)" + period));
  EXPECT_EQ(s.fees, sum("Fee", "FROM ActivityLog WHERE Active = 1 AND PeopleID = " + id +
                                   " AND date(ActivityDate)" + period));
  EXPECT_EQ(s.payment_count,
            QueryNumber(db_, "SELECT COUNT(*) " + joined + "WHERE p.Active = 1 AND a.PeopleID = " + id +
                                 " AND p.DateEntered > '2025-12-06 00:00:00' AND p.DateEntered <= '2026-12-06 23:59:59'"));
  EXPECT_GT(s.payments, Currency());

  // The latest qualifying payment.
  const std::string qualifying = joined + "WHERE p.Active = 1 AND a.Active = 1 AND p.Payment > 0 AND a.PeopleID = " + id;
  const std::string last = QueryText(db_, "SELECT MAX(p.PaymentDate) " + qualifying);
  ASSERT_GE(last.size(), 10u);
  EXPECT_EQ(ToUtf8(s.last_payment_date), last.substr(5, 2) + "/" + last.substr(8, 2) + "/" + last.substr(0, 4));
  EXPECT_EQ(s.last_payment_amount,
            Cents(QueryNumber(db_, "SELECT CAST(ROUND(p.Payment * 100) AS INTEGER) " + qualifying +
                                       " ORDER BY p.PaymentDate DESC LIMIT 1")));

  // Benefits: only Enabled 1 is Yes.
  ASSERT_EQ(s.benefits.size(),
            static_cast<std::size_t>(QueryNumber(db_, "SELECT COUNT(*) FROM LTCBenefit WHERE PeopleID = " + id)));
  for (const auto& [type, enabled] : s.benefits) {
    const long long on = QueryNumber(db_, "SELECT COUNT(*) FROM LTCBenefit WHERE PeopleID = " + id +
                                              " AND Enabled = 1 AND BenefitType = '" + ToUtf8(type) + "'");
    EXPECT_EQ(enabled, on ? u"Yes" : u"No") << ToUtf8(type);
  }

  // As a page: one document with the chart drawn, no script.
  const std::string page = RenderHtml({s});
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(page.find("<svg"), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_NE(page.find("John Q. O'Brien"), std::string::npos);
}

TEST_F(DemoStatement, TheClientWithoutRowsPrintsEmptySections) {
  const StatementData s = Build(kDemoClientWithoutRows);
  EXPECT_EQ(s.latest_invoice, 0);
  EXPECT_EQ(s.last_payment_date, u"");
  EXPECT_EQ(s.credits, Currency());
  EXPECT_TRUE(s.benefits.empty());
  const std::string text = RenderText({s});
  EXPECT_NE(text.find("No invoices yet"), std::string::npos);
  EXPECT_NE(text.find("None on file"), std::string::npos);
}

TEST(DemoDb, SameSeedAndDaySameFile) {
  const testing::TempDir dir;
  ASSERT_EQ(WriteDemoDatabase((dir / "a.sqlite").string(), kToday), "");
  ASSERT_EQ(WriteDemoDatabase((dir / "b.sqlite").string(), kToday), "");
  EXPECT_EQ(testing::ReadFileBytes(dir / "a.sqlite"), testing::ReadFileBytes(dir / "b.sqlite"));
  EXPECT_NE(WriteDemoDatabase((dir / "c.sqlite").string(), "2026-02-30"), "");
}

}  // namespace
}  // namespace qorvel::tool
