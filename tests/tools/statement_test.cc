// The statement of the demo client: the arguments it gives the report
// functions (the client, its latest invoice, the ageing buckets, the twelve
// months up to today and the count's window up to today's last second),
// checked against the functions called with them; its page; and the demo
// database itself. What the functions answer is the lookups' tests' business.
#include "statement.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "demo_db.h"
#include "host_support.h"

namespace qorvel::tool {
namespace {

using testing::EngineEnv;
using testing::LocaleScope;

constexpr char kToday[] = "2026-12-06";

class DemoStatement : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(WriteDemoDatabase(path_.string(), kToday), "");
  }
  // The statement, built on a thread of its own: the lookups' connection is
  // the thread's, made through this test's env.
  StatementData Build(Long client) {
    StatementData s;
    std::thread([&] { s = BuildStatement(kx, path_.string(), client, env.now); }).join();
    return s;
  }
  testing::TempDir dir_;
  std::filesystem::path path_ = dir_ / "demo.sqlite";
  LocaleScope scope_{"en-US"};
  EngineEnv env;
  KX kx{&env};
};

TEST_F(DemoStatement, FiguresAreTheFunctionsOnTheStatementsArguments) {
  env.now = DateTime(DateTime::FromParts(2026, 12, 6)->value() + 0.5);
  const StatementData s = Build(kDemoClient);
  EXPECT_TRUE(env.boxes.empty());
  const Text db = FromUtf8(path_.string());
  const Long id = kDemoClient;
  EXPECT_EQ(s.name, u"John Q. O'Brien");
  EXPECT_EQ(s.credits, kx.CreditAmount(db, id));
  ASSERT_GT(s.latest_invoice, 0);
  EXPECT_EQ(s.previous_balance_due, kx.PrevBalDue(db, id, s.latest_invoice));
  const Integer bounds[] = {0, 30, 60, 90, 32767};
  for (std::size_t b = 0; b < 4; ++b) {
    EXPECT_EQ(s.ageing[b].balance, kx.AgedInvBalances(db, id, bounds[b], bounds[b + 1])) << "bucket " << b;
    EXPECT_GT(s.ageing[b].balance, Currency()) << "bucket " << b;  // every section filled
  }
  EXPECT_EQ(s.period_from + u" - " + s.period_to, u"12/6/2025 - 12/6/2026");
  const DateTime from = *DateTime::FromParts(2025, 12, 6), to = *DateTime::FromParts(2026, 12, 6);
  EXPECT_EQ(s.payments, kx.PymtsByDateRange(db, id, from, to, u""));
  EXPECT_GT(s.payments, Currency());
  EXPECT_EQ(s.payment_count, kx.PymtCountByDateRange(db, id, u"12/6/2025", u"12/6/2026 11:59:59 PM"));
  EXPECT_FALSE(s.benefits.empty());

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
