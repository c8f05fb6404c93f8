// The sixteen lookups on the fixture database, for the persons the fixture
// rows were written for, in a month-first and a day-first locale; the same
// rows as a SQLite file; and eight threads, each with its own KX objects,
// calling every method on the same and different files at once (run under
// ThreadSanitizer by scripts/tsan.sh). The expected values are worked out by
// hand from the rows in fixtures/billing/*.tsv.
#include <gtest/gtest.h>

#include <array>
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
using testing::LocaleScope;

struct Case {
  const char* method;
  std::vector<const char*> args;  // after TargetDB for a lookup, as a late-bound caller passes them
  const char* en_us;              // the result as a report shows it
  const char* en_gb;              // nullptr: the same as en-US
  bool lookup = true;
};

// Now() is 14 April 2011, 12:00 (EngineEnv's clock).
const Case kCases[] = {
    // 417: the client with the most history.
    {"LastModified", {"Client", "417"}, "08/09/2011", "09/08/2011"},
    {"LastModifiedCaseClient", {"Billing", "417"}, "08/09/2011", "09/08/2011"},
    {"LastPaymentDate", {"417"}, "03/31/2011", "31/03/2011"},
    {"LastPaymentAmt", {"417"}, "10", nullptr},
    {"CreditAmount", {"417"}, "330.5", nullptr},
    {"CreditAmountRetainer", {"417"}, "250.5", nullptr},
    {"PrevBalDue", {"417", "982"}, "90", nullptr},
    {"PrevBalDue", {"417", "980"}, "0", nullptr},
    {"PrevInvDateEntered", {"417", "982"}, "2/15/2011", "15/02/2011"},
    {"PrevInvDateEntered", {"417", "981"}, "1/15/2011 10:00:00 AM", "15/01/2011 10:00:00"},
    {"PrevInvDateEntered", {"417", "980"}, "", nullptr},
    {"InvoiceBalance", {"982"}, "75.25", nullptr},
    {"InvoiceFee", {"982"}, "285.25", nullptr},
    {"InvoiceBalance", {"12345"}, "0", nullptr},
    {"AgedInvBalances", {"417", "30", "60"}, "125.25", nullptr},
    {"AgedInvBalances", {"417", "-32768", "0"}, "30", nullptr},  // the invoice dated 2099
    {"AgedInvBalances", {"417", "30", "30"}, "0", nullptr},
    {"PymtCountByDateRange", {"417", "3/1/2011", "3/31/2011 23:59:59"}, "2", "4"},
    {"PymtCountByDateRange", {"417", "3/31/2011 23:00:00", "4/1/2011"}, "0", "0"},
    {"LTCBenefitTypeEnabledYN", {"417", "Respite"}, "Yes", nullptr},
    {"LTCBenefitTypeEnabledYN", {"417", "respite"}, "Yes", nullptr},
    {"LTCBenefitTypeEnabledYN", {"417", "HomeCare"}, "No", nullptr},
    {"LTCBenefitTypeEnabledYN", {"417", "Nothing"}, "No", nullptr},
    {"PymtsByDateRange", {"417", "2011-03-01", "2011-03-31", ""}, "36.5", nullptr},
    {"WOffsByDateRange", {"417", "2011-03-01", "2011-03-31", ""}, "5", nullptr},
    {"FeesByDateRange", {"417", "2011-03-01", "2011-03-31", ""}, "105.25", nullptr},
    {"FeesByDateRange", {"417", "2011-03-01", "2011-03-31", "HH 1"}, "10", nullptr},
    {"PymtsByDateRange", {"417", "2011-03-01", "2011-03-31", "HH1"}, "25.5", nullptr},
    {"PymtsByDateRange", {"417", "2011-03-01 12:00", "2011-03-31", ""}, "10", nullptr},
    {"PymtsByDateRange", {"417", "2001-01-01", "1899-12-30", ""}, "596.5", nullptr},
    {"PymtsByDateRange", {"417", "2001-01-02", "1899-12-30", ""}, "0", nullptr},
    // 42: dates that sort the wrong way as texts.
    {"LastModified", {"Client", "42"}, "10/01/2011", "01/10/2011"},
    {"LastModifiedCaseClient", {"Intake", "42"}, "05/05/2012", "05/05/2012"},
    {"LastPaymentDate", {"42"}, "03/05/2011", "05/03/2011"},
    // 7: an apostrophe in the category, four decimals of money, an empty type.
    {"LastModifiedCaseClient", {"Client's Family", "7"}, "02/03/2013", "03/02/2013"},
    {"CreditAmount", {"7"}, "12.3456", nullptr},
    {"LTCBenefitTypeEnabledYN", {"7", ""}, "Yes", nullptr},
    {"LastPaymentDate", {"7"}, "", nullptr},
    {"LastPaymentAmt", {"7"}, "0", nullptr},
    // 0: a person numbered 0 in the aged lookup, all persons in the totals.
    {"AgedInvBalances", {"0", "0", "30"}, "5", nullptr},
    {"PymtsByDateRange", {"0", "2001-01-01", "1899-12-30", ""}, "796.5", nullptr},
    {"LastModified", {"Client", "0"}, "", nullptr},
    // -5: a negative identifier.
    {"LastModified", {"Client", "-5"}, "01/01/2012", "01/01/2012"},
    // Errors of the statement.
    {"LastModified", {"Nowhere", "417"}, "Error in QORVEL.DLL", nullptr},
    {"LastModified", {"Cli]ent", "417"}, "Error in QORVEL.DLL", nullptr},
    // Every formatter and the date format probe, so that the threads below
    // call every method of _KX.
    {"FormatPhone", {"", "5551234567"}, "(555) 123-4567", nullptr, false},
    {"FormatZip", {"123456789"}, "12345-6789", nullptr, false},
    {"FormatSS", {"EFGHIABCD"}, "123-45-6789", nullptr, false},
    {"FormatName", {"Ann", "B", "Smith", "0"}, "Smith, Ann B.", nullptr, false},
    {"FormatAddress", {"1 Main St", "", "Springfield", "IL", "627011234", "0"},
     "1 Main St  Springfield, IL  62701-1234", nullptr, false},
    {"FormatAddress2", {"1 Main St", "Apt 2", "", "Springfield", "IL", "62701", "-1"},
     "1 Main St\r\nApt 2\r\nSpringfield, IL 62701", nullptr, false},
    {"FormatMinutes", {"125"}, "2 hr 05 mn", nullptr, false},
    {"GetDateFormat", {}, "MM/dd/yyyy", "dd/MM/yyyy", false},
};

// The result of each case on `db` in the user locale, as a report shows it,
// then the boxes shown (none: only the error-text style fails here).
std::vector<std::string> Results(const std::string& db) {
  EngineEnv env;
  KX kx(&env);
  std::vector<std::string> results;
  for (const Case& c : kCases) {
    std::vector<Variant> args;
    if (c.lookup) args.push_back(Variant::FromText(FromUtf8(db)));
    for (const char* a : c.args) args.push_back(Variant::FromText(FromUtf8(a)));
    const InvokeResult r = Invoke(kx, FromUtf8(c.method), args);
    results.push_back(r.ok() ? ToUtf8(DisplayText(r.value)) : "failed: " + r.message);
  }
  results.push_back("boxes: " + std::to_string(env.boxes.size()));
  modmain::ResetThisThread();
  return results;
}

std::vector<std::string> Expected(const std::string& locale) {
  std::vector<std::string> expected;
  for (const Case& c : kCases) expected.push_back(locale == "en-GB" && c.en_gb ? c.en_gb : c.en_us);
  expected.push_back("boxes: 0");
  return expected;
}

// Compares `got` with `expected`, naming each case's call in messages.
void ExpectResults(const std::vector<std::string>& got, const std::vector<std::string>& expected,
                   const std::string& where) {
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    std::string call = i < std::size(kCases) ? kCases[i].method : "";
    if (i < std::size(kCases)) {
      for (const char* a : kCases[i].args) call += std::string(" ") + a;
    }
    EXPECT_EQ(got[i], expected[i]) << call << " " << where;
  }
}

TEST(BillingFixture, MdbFileInBothLocales) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  modmain::ResetThisThread();
  for (const char* locale : {"en-US", "en-GB"}) {
    LocaleScope scope(locale);
    ExpectResults(Results(testing::SharedPath("fixtures/billing.mdb").string()), Expected(locale), locale);
  }
}

// The password file, the same file without a password and the same rows as
// a SQLite file: threads 0 to 3 stay on the password file (the same file at
// once); the others move between the three.
TEST(ThreadsTest, EightThreadsGetWhatOneThreadGets) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  QORVEL_REQUIRE_SHARED("fixtures/billing-nopassword.mdb");
  QORVEL_REQUIRE_SHARED("fixtures/billing");
  LocaleScope locale("en-US");
  jet::testing::TempDir temp;
  const auto sqlite = temp / "billing.sqlite";
  ASSERT_EQ(testing::BuildSqliteFromTsv(testing::SharedPath("fixtures/billing"), sqlite), "");
  const std::array<std::string, 3> files = {testing::SharedPath("fixtures/billing.mdb").string(),
                                            testing::SharedPath("fixtures/billing-nopassword.mdb").string(),
                                            sqlite.string()};
  constexpr int kThreads = 8, kRounds = 3;
  std::vector<std::vector<std::pair<std::size_t, std::vector<std::string>>>> got(kThreads);  // file, results
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        const std::size_t f = t < 4 ? 0 : static_cast<std::size_t>(t + round) % files.size();
        got[static_cast<std::size_t>(t)].emplace_back(f, Results(files[f]));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    for (const auto& [f, results] : got[static_cast<std::size_t>(t)]) {
      ExpectResults(results, Expected("en-US"), "thread " + std::to_string(t) + " on " + files[f]);
    }
  }
}

}  // namespace
}  // namespace qorvel
