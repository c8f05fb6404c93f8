// A program that uses an installed QORVEL: FormatPhone early bound through
// the _KX interface, CreditAmount late bound through Invoke on the billing
// fixture and the same figure through the engine's Database, and an
// AutomationError thrown inside the library and caught here (which needs
// the library's exported type information).
//   consumer [BILLING_MDB]
// Prints "N passed, N failed"; exits 1 when a check failed.
#include <cstdio>
#include <string>
#include <vector>

#include "qorvel/qorvel.h"

namespace {

int passed = 0;
int failed = 0;

void Check(const char* what, bool ok, const std::string& detail) {
  ++(ok ? passed : failed);
  std::printf("%s %s: %s\n", ok ? "ok  " : "FAIL", what, detail.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  qorvel::SetUserLocale("en-US");
  qorvel::KX kx;
  qorvel::_KX& early = kx;

  const qorvel::Text phone = early.FormatPhone(u"", u"5551234567");
  Check("FormatPhone early bound", phone == u"(555) 123-4567", qorvel::ToUtf8(phone));

  try {
    qorvel::RaiseOverflow();
  } catch (const qorvel::AutomationError& error) {
    Check("AutomationError caught outside the library", error.number() == qorvel::kErrOverflow,
          error.what());
  } catch (...) {
    Check("AutomationError caught outside the library", false, "caught as another type");
  }

  if (argc > 1) {
    const std::vector<qorvel::Variant> args = {
        qorvel::Variant::FromText(qorvel::FromUtf8(argv[1])), qorvel::Variant::FromLong(417)};
    const qorvel::InvokeResult result = qorvel::Invoke(kx, u"CreditAmount", args);
    const bool ok = result.ok() && result.value.type() == qorvel::VarType::kCurrency &&
                    result.value.AsCurrency() == qorvel::Currency::FromRaw(3305000);
    Check("CreditAmount late bound", ok,
          result.ok() ? qorvel::ToUtf8(qorvel::DisplayText(result.value)) : result.message);

    qorvel::Result<qorvel::Database> db = qorvel::Database::Open(qorvel::FromUtf8(argv[1]));
    const qorvel::Result<qorvel::Rows> sum =
        db.ok() ? db.value().Execute(u"Select Sum(Balance) From Credit Where Active = 1 And PeopleID = 417")
                : qorvel::Result<qorvel::Rows>(db.error());
    Check("the same sum through the Database", sum.ok() && sum.value().at(0, 0) == result.value,
          sum.ok() ? qorvel::ToUtf8(qorvel::DisplayText(sum.value().at(0, 0))) : sum.error().what());
  } else {
    std::printf("skipped CreditAmount: no billing database given\n");
  }

  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
