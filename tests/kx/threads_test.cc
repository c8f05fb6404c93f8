// Eight threads, each with its own KX objects on the real engine, call
// every lookup and every formatter against the same and different files
// (the two fixture .mdb files with and without a password, and a SQLite
// file with the same rows that the test builds), and must get exactly the
// results that one thread gets. Run under ThreadSanitizer by
// scripts/tsan.sh; in the ordinary builds it checks the results.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

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

struct Call {
  const char* method;
  std::vector<const char*> args;  // after TargetDB for a lookup
  bool lookup;
};

// Every method of _KX but the date format probe, once or more.
const Call kCalls[] = {
    {"LastModified", {"Client", "417"}, true},
    {"LastModifiedCaseClient", {"Billing", "42"}, true},
    {"LastPaymentDate", {"417"}, true},
    {"LastPaymentAmt", {"42"}, true},
    {"CreditAmount", {"417"}, true},
    {"CreditAmountRetainer", {"7"}, true},
    {"PrevBalDue", {"417", "982"}, true},
    {"PrevInvDateEntered", {"417", "981"}, true},
    {"InvoiceBalance", {"982"}, true},
    {"InvoiceFee", {"982"}, true},
    {"AgedInvBalances", {"417", "30", "60"}, true},
    {"PymtCountByDateRange", {"417", "3/1/2011", "3/31/2011 23:59:59"}, true},
    {"LTCBenefitTypeEnabledYN", {"417", "Respite"}, true},
    {"PymtsByDateRange", {"417", "2011-03-01", "2011-03-31", ""}, true},
    {"WOffsByDateRange", {"417", "2001-01-01", "1899-12-30", ""}, true},
    {"FeesByDateRange", {"417", "2011-03-01", "2011-03-31", "HH 1"}, true},
    {"LastModified", {"Nowhere", "417"}, true},
    {"FormatPhone", {"", "5551234567"}, false},
    {"FormatZip", {"123456789"}, false},
    {"FormatSS", {"EFGHIABCD"}, false},
    {"FormatName", {"Ann", "B", "Smith", "0"}, false},
    {"FormatAddress", {"1 Main St", "Apt 2", "Springfield", "IL", "627011234", "0"}, false},
    {"FormatAddress2", {"1 Main St", "Apt 2", "Floor 3", "Springfield", "IL", "62701", "-1"}, false},
    {"FormatMinutes", {"125"}, false},
};

// The results of every call on `db`, as a report shows them, then the
// number of boxes.
std::vector<std::string> RunCalls(const std::string& db) {
  EngineEnv env;
  KX kx(&env);
  std::vector<std::string> results;
  for (const Call& c : kCalls) {
    std::vector<Variant> args;
    if (c.lookup) args.push_back(Variant::FromText(FromUtf8(db)));
    for (const char* a : c.args) args.push_back(Variant::FromText(FromUtf8(a)));
    const InvokeResult r = Invoke(kx, FromUtf8(c.method), args);
    results.push_back(r.ok() ? ToUtf8(DisplayText(r.value)) : "failed: " + r.message);
  }
  results.push_back(ToUtf8(kx.GetDateFormat()));
  results.push_back("boxes: " + std::to_string(env.boxes.size()));
  modmain::ResetThisThread();
  return results;
}

TEST(ThreadsTest, EightThreadsGetWhatOneThreadGets) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  QORVEL_REQUIRE_SHARED("fixtures/billing-nopassword.mdb");
  QORVEL_REQUIRE_SHARED("fixtures/billing");
  testing::LocaleScope locale("en-US");
  jet::testing::TempDir temp;
  const auto sqlite = temp / "billing.sqlite";
  ASSERT_EQ(testing::BuildSqliteFromTsv(testing::SharedPath("fixtures/billing"), sqlite), "");
  const std::array<std::string, 3> files = {testing::SharedPath("fixtures/billing.mdb").string(),
                                            testing::SharedPath("fixtures/billing-nopassword.mdb").string(),
                                            sqlite.string()};
  std::array<std::vector<std::string>, 3> expected;
  for (std::size_t f = 0; f < files.size(); ++f) expected[f] = RunCalls(files[f]);
  // The three files hold the same rows.
  EXPECT_EQ(expected[0], expected[1]);
  EXPECT_EQ(expected[0], expected[2]);

  constexpr int kThreads = 8;
  constexpr int kRounds = 3;
  // got[t][round]: which file, and what came back.
  std::vector<std::vector<std::pair<std::size_t, std::vector<std::string>>>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        // Threads 0 to 3 stay on the password file (the same file at once);
        // the others move between the three.
        const std::size_t f = t < 4 ? 0 : static_cast<std::size_t>(t + round) % files.size();
        got[static_cast<std::size_t>(t)].emplace_back(f, RunCalls(files[f]));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    for (const auto& [f, results] : got[static_cast<std::size_t>(t)]) {
      EXPECT_EQ(results, expected[f]) << "thread " << t << " on " << files[f];
    }
  }
}

}  // namespace
}  // namespace qorvel
