// The sixteen lookups on the fixture database, for the persons the fixture
// rows were written for, in a month-first and a day-first locale. The
// expected values are worked out by hand from the rows in
// fixtures/billing/*.tsv. (That the same rows as a SQLite file give the same
// answers is checked by threads_test.cc.)
#include <gtest/gtest.h>

#include "modmain/mod_main.h"
#include "qorvel/dispatch.h"
#include "qorvel/host.h"
#include "qorvel/kx.h"
#include "shared_dir.h"
#include "support/fakes.h"

namespace qorvel {
namespace {

using testing::EngineEnv;
using testing::LocaleScope;

struct Case {
  const char* method;
  std::vector<const char*> args;  // after TargetDB, as a late-bound caller passes them
  const char* en_us;              // the result as a report shows it
  const char* en_gb;              // nullptr: the same as en-US
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
};

void RunAll(const std::string& db, const std::string& locale) {
  LocaleScope scope(locale);
  EngineEnv env;
  KX kx(&env);
  for (const Case& c : kCases) {
    std::vector<Variant> args = {Variant::FromText(FromUtf8(db))};
    for (const char* a : c.args) args.push_back(Variant::FromText(FromUtf8(a)));
    const InvokeResult r = Invoke(kx, FromUtf8(c.method), args);
    ASSERT_TRUE(r.ok()) << c.method << ": " << r.message;
    const char* expected = locale == "en-GB" && c.en_gb ? c.en_gb : c.en_us;
    std::string call = c.method;
    for (const char* a : c.args) call += std::string(" ") + a;
    EXPECT_EQ(ToUtf8(DisplayText(r.value)), expected) << call << " in " << locale;
  }
  // Only the failing statements of the error-text style were made, and those show no box.
  EXPECT_TRUE(env.boxes.empty()) << ToUtf8(env.boxes.empty() ? Text() : env.boxes[0].prompt);
}

TEST(BillingFixture, MdbFileInBothLocales) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  for (const char* locale : {"en-US", "en-GB"}) {
    modmain::ResetThisThread();
    RunAll(testing::SharedPath("fixtures/billing.mdb").string(), locale);
  }
  modmain::ResetThisThread();
}

}  // namespace
}  // namespace qorvel
