// The lookups' statements, captured from the lookups (see sql_test_support.h).
#include <gtest/gtest.h>

#include "modmain/mod_main.h"
#include "qorvel/dispatch.h"
#include "qorvel/kx.h"
#include "sql_test_support.h"
#include "support/fakes.h"

namespace qorvel::sql_test {
namespace {

// The one statement `method` sends, called late bound with the text
// arguments after its path, through a fresh object and connection.
Text Captured(const char16_t* method, const std::vector<const char16_t*>& args) {
  testing::RecordingEnv env;
  KX kx(&env);
  std::vector<Variant> values = {Variant::FromText(u"billing.mdb")};
  for (const char16_t* arg : args) values.push_back(Variant::FromText(arg));
  modmain::ResetThisThread();
  EXPECT_TRUE(Invoke(kx, method, values).ok()) << ToUtf8(method);
  modmain::ResetThisThread();
  EXPECT_EQ(env.database.statements.size(), 1u) << ToUtf8(method);
  return env.database.statements.empty() ? Text() : env.database.statements.front();
}

}  // namespace

const std::vector<LookupStatement>& LookupStatements() {
  static const std::vector<LookupStatement> statements = [] {
    const testing::LocaleScope locale("en-US");
    const std::vector<ExpectedColumn> dates{{u"Expr1000", JetType::kDateTime}, {u"Expr1001", JetType::kDateTime}};
    const std::vector<ExpectedColumn> date{{u"Expr1000", JetType::kDateTime}};
    const std::vector<ExpectedColumn> money{{u"Expr1000", JetType::kCurrency}};
    const auto row = [](const char* what, const char16_t* method, const std::vector<const char16_t*>& args,
                        std::vector<ExpectedColumn> columns) {
      return LookupStatement{what, Captured(method, args), std::move(columns)};
    };
    const std::vector<const char16_t*> period = {u"17", u"3/1/2011", u"3/31/2011", u"HH1"};
    return std::vector<LookupStatement>{
        row("LastModified", u"LastModified", {u"Client", u"42"}, dates),
        row("LastModifiedCaseClient", u"LastModifiedCaseClient", {u"Billing", u"42"}, dates),
        row("LastPaymentDate", u"LastPaymentDate", {u"417"}, date),
        row("LastPaymentAmt", u"LastPaymentAmt", {u"417"}, {{u"Payment", JetType::kCurrency}}),
        row("CreditAmount", u"CreditAmount", {u"417"}, money),
        row("CreditAmountRetainer", u"CreditAmountRetainer", {u"417"}, money),
        row("PrevBalDue", u"PrevBalDue", {u"417", u"982"}, money),
        row("PrevInvDateEntered", u"PrevInvDateEntered", {u"417", u"982"}, date),
        row("InvoiceBalance", u"InvoiceBalance", {u"982"}, money),
        row("InvoiceFee", u"InvoiceFee", {u"982"}, money),
        row("AgedInvBalances", u"AgedInvBalances", {u"1234", u"0", u"30"},
            {{u"Balance", JetType::kCurrency}, {u"Age", JetType::kLong}}),
        row("PymtCountByDateRange", u"PymtCountByDateRange", {u"17", u"3/1/2011", u"3/31/2011 23:59:59"},
            {{u"Expr1000", JetType::kLong}}),
        row("PymtsByDateRange", u"PymtsByDateRange", period, money),
        row("WOffsByDateRange", u"WOffsByDateRange", period, money),
        row("FeesByDateRange", u"FeesByDateRange", period, money),
        row("PymtsByDateRange without conditions", u"PymtsByDateRange", {u"0", u"12:00 AM", u"12:00 AM", u""}, money),
        row("FeesByDateRange with the person only", u"FeesByDateRange", {u"17", u"12:00 AM", u"12:00 AM", u""}, money),
        row("LTCBenefitTypeEnabledYN", u"LTCBenefitTypeEnabledYN", {u"17", u"Respite"},
            {{u"Enabled", JetType::kInteger}}),
    };
  }();
  return statements;
}

}  // namespace qorvel::sql_test
