// The lookups' statements, captured from the lookups (see sql_test_support.h).
#include <functional>

#include <gtest/gtest.h>

#include "modmain/mod_main.h"
#include "qorvel/kx.h"
#include "sql_test_support.h"
#include "support/fakes.h"

namespace qorvel::sql_test {
namespace {

// The one statement `call` sends through a fresh object and connection.
Text Captured(const std::function<void(KX&, const Text&)>& call) {
  testing::RecordingEnv env;
  KX kx(&env);
  modmain::ResetThisThread();
  call(kx, u"billing.mdb");
  modmain::ResetThisThread();
  EXPECT_EQ(env.database.statements.size(), 1u);
  return env.database.statements.empty() ? Text() : env.database.statements.front();
}

}  // namespace

const std::vector<LookupStatement>& LookupStatements() {
  static const std::vector<LookupStatement> statements = [] {
    const testing::LocaleScope locale("en-US");
    const Long person = 417, client = 17, invoice = 982;
    const DateTime march1(Date(2011, 3, 1)), march31(Date(2011, 3, 31)), none;
    const Integer from = 0, to = 30;
    const Text start = u"3/1/2011", end = u"3/31/2011 23:59:59", provider = u"HH1", empty;
    const Long nobody = 0;
    const std::vector<ExpectedColumn> date{{u"Expr1000", JetType::kDateTime}};
    const std::vector<ExpectedColumn> money{{u"Expr1000", JetType::kCurrency}};
    using Call = std::function<void(KX&, const Text&)>;
    const auto row = [](const char* method, const Call& call, std::vector<ExpectedColumn> columns) {
      return LookupStatement{method, Captured(call), std::move(columns)};
    };
    return std::vector<LookupStatement>{
        row("LastModified", [&](KX& kx, const Text& db) { kx.LastModified(db, u"Client", 42); },
            {{u"Expr1000", JetType::kDateTime}, {u"Expr1001", JetType::kDateTime}}),
        row("LastModifiedCaseClient",
            [&](KX& kx, const Text& db) { kx.LastModifiedCaseClient(db, u"Billing", 42); },
            {{u"Expr1000", JetType::kDateTime}, {u"Expr1001", JetType::kDateTime}}),
        row("LastPaymentDate", [&](KX& kx, const Text& db) { kx.LastPaymentDate(db, person); }, date),
        row("LastPaymentAmt", [&](KX& kx, const Text& db) { kx.LastPaymentAmt(db, person); },
            {{u"Payment", JetType::kCurrency}}),
        row("CreditAmount", [&](KX& kx, const Text& db) { kx.CreditAmount(db, person); }, money),
        row("CreditAmountRetainer",
            [&](KX& kx, const Text& db) { kx.CreditAmountRetainer(db, person); }, money),
        row("PrevBalDue", [&](KX& kx, const Text& db) { kx.PrevBalDue(db, person, invoice); }, money),
        row("PrevInvDateEntered",
            [&](KX& kx, const Text& db) { kx.PrevInvDateEntered(db, person, invoice); }, date),
        row("InvoiceBalance", [&](KX& kx, const Text& db) { kx.InvoiceBalance(db, invoice); }, money),
        row("InvoiceFee", [&](KX& kx, const Text& db) { kx.InvoiceFee(db, invoice); }, money),
        row("AgedInvBalances",
            [&](KX& kx, const Text& db) { kx.AgedInvBalances(db, Long{1234}, from, to); },
            {{u"Balance", JetType::kCurrency}, {u"Age", JetType::kLong}}),
        row("PymtCountByDateRange",
            [&](KX& kx, const Text& db) { kx.PymtCountByDateRange(db, client, start, end); },
            {{u"Expr1000", JetType::kLong}}),
        row("PymtsByDateRange",
            [&](KX& kx, const Text& db) { kx.PymtsByDateRange(db, client, march1, march31, provider); },
            money),
        row("WOffsByDateRange",
            [&](KX& kx, const Text& db) { kx.WOffsByDateRange(db, client, march1, march31, provider); },
            money),
        row("FeesByDateRange",
            [&](KX& kx, const Text& db) { kx.FeesByDateRange(db, client, march1, march31, provider); },
            money),
        row("PymtsByDateRange without conditions",
            [&](KX& kx, const Text& db) { kx.PymtsByDateRange(db, nobody, none, none, empty); }, money),
        row("FeesByDateRange with the person only",
            [&](KX& kx, const Text& db) { kx.FeesByDateRange(db, client, none, none, empty); }, money),
        row("LTCBenefitTypeEnabledYN",
            [&](KX& kx, const Text& db) { kx.LTCBenefitTypeEnabledYN(db, client, u"Respite"); },
            {{u"Enabled", JetType::kInteger}}),
    };
  }();
  return statements;
}

}  // namespace qorvel::sql_test
