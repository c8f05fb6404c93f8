// The statements the lookups send, character for character (with example
// arguments), and the result columns each must give.
#ifndef QORVEL_TESTS_SQL_LOOKUP_STATEMENTS_H_
#define QORVEL_TESTS_SQL_LOOKUP_STATEMENTS_H_

#include <string_view>
#include <vector>

#include "jet/catalog.h"

namespace qorvel::sql_test {

struct ExpectedColumn {
  std::u16string_view name;
  jet::JetType type;
};

struct LookupStatement {
  const char* method;
  std::u16string_view text;
  std::vector<ExpectedColumn> columns;
};

inline const std::vector<LookupStatement>& LookupStatements() {
  using jet::JetType;
  static const std::vector<LookupStatement> statements = {
      {"LastModified",
       u"Select Max (DateEntered), Max (DateModified) From [Client] Where PeopleID = 42",
       {{u"Expr1000", JetType::kDateTime}, {u"Expr1001", JetType::kDateTime}}},
      {"LastModifiedCaseClient",
       u"Select Max (DateEntered), Max (DateModified) From CaseClientContact Where PeopleID = 42 "
       u"And Category = 'Billing'",
       {{u"Expr1000", JetType::kDateTime}, {u"Expr1001", JetType::kDateTime}}},
      {"LastPaymentDate",
       u"Select Max (PaymentDate) From Payment Inner Join ActivityLog On "
       u"Payment.ActivityLogGUID = ActivityLog.GUID Where ActivityLog.Active = 1 And "
       u"Payment.Active = 1 And Payment > 0 And PeopleID = 417",
       {{u"Expr1000", JetType::kDateTime}}},
      {"LastPaymentAmt",
       u"Select Payment From Payment Inner Join ActivityLog On "
       u"Payment.ActivityLogGUID = ActivityLog.GUID Where ActivityLog.Active = 1 And "
       u"Payment.Active = 1 And Payment > 0 And PeopleID = 417 Order By PaymentDate Desc",
       {{u"Payment", JetType::kCurrency}}},
      {"CreditAmount",
       u"Select Sum(Balance) From Credit Where Active = 1 And PeopleID = 417",
       {{u"Expr1000", JetType::kCurrency}}},
      {"CreditAmountRetainer",
       u"Select Sum(Balance) From Credit Where Active = 1 And Retainer = 1 And PeopleID = 417",
       {{u"Expr1000", JetType::kCurrency}}},
      {"PrevBalDue",
       u"Select Sum(Balance) From ActivityLog Where Active = 1 And InvoiceNumber Is Not Null "
       u"And InvoiceNumber < 982 And PeopleID = 417",
       {{u"Expr1000", JetType::kCurrency}}},
      {"PrevInvDateEntered",
       u"Select Max (DateEntered) From Invoice Where Status = 1 And InvoiceNumber < 982 And "
       u"PeopleID = 417",
       {{u"Expr1000", JetType::kDateTime}}},
      {"InvoiceBalance",
       u"Select Sum(Balance) From ActivityLog Where Active = 1 And InvoiceNumber = 982",
       {{u"Expr1000", JetType::kCurrency}}},
      {"InvoiceFee",
       u"Select Sum(Fee) From ActivityLog Where Active = 1 And InvoiceNumber = 982",
       {{u"Expr1000", JetType::kCurrency}}},
      {"AgedInvBalances",
       u"Select Balance, DateDiff('d', InvoiceDate, Now()) As Age From ActivityLog Where "
       u"Active = 1 And InvoiceDate Is Not Null And PeopleID = 1234",
       {{u"Balance", JetType::kCurrency}, {u"Age", JetType::kLong}}},
      {"PymtCountByDateRange",
       u"Select Count(*) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
       u"ActivityLog.GUID Where Payment.Active = 1 And Payment.DateEntered > #3/1/2011# And "
       u"Payment.DateEntered <= #3/31/2011 23:59:59# And PeopleID = 17",
       {{u"Expr1000", JetType::kLong}}},
      {"PymtsByDateRange",
       u"Select Sum(Payment) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
       u"ActivityLog.GUID Where Payment.Active = 1  And DateValue(Payment.PaymentDate) >= "
       u"#3/1/2011# And DateValue(Payment.PaymentDate) <= #3/31/2011#  And PeopleID = 17 And "
       u"CareProviderID = 'HH1'",
       {{u"Expr1000", JetType::kCurrency}}},
      {"WOffsByDateRange",
       u"Select Sum(WriteOff) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
       u"ActivityLog.GUID Where Payment.Active = 1  And DateValue(Payment.PaymentDate) >= "
       u"#3/1/2011# And DateValue(Payment.PaymentDate) <= #3/31/2011#  And PeopleID = 17 And "
       u"CareProviderID = 'HH1'",
       {{u"Expr1000", JetType::kCurrency}}},
      {"FeesByDateRange",
       u"Select Sum(Fee) From ActivityLog Where Active = 1  And DateValue(ActivityDate) >= "
       u"#3/1/2011# And DateValue(ActivityDate) <= #3/31/2011#  And PeopleID = 17 And "
       u"CareProviderID = 'HH1'",
       {{u"Expr1000", JetType::kCurrency}}},
      {"PymtsByDateRange without conditions",
       u"Select Sum(Payment) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
       u"ActivityLog.GUID Where Payment.Active = 1 ",
       {{u"Expr1000", JetType::kCurrency}}},
      {"FeesByDateRange with the person only",
       u"Select Sum(Fee) From ActivityLog Where Active = 1  And PeopleID = 17",
       {{u"Expr1000", JetType::kCurrency}}},
      {"LTCBenefitTypeEnabledYN",
       u"Select Enabled From LTCBenefit Where PeopleID = 17 And BenefitType = 'Respite'",
       {{u"Enabled", JetType::kInteger}}},
  };
  return statements;
}

}  // namespace qorvel::sql_test

#endif  // QORVEL_TESTS_SQL_LOOKUP_STATEMENTS_H_
