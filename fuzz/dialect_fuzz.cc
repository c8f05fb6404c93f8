// Fuzz target for the SQL dialect and the lookups' statement builders.
//
// Half the inputs are statements: arbitrary text goes through the lexer
// (Shape) and through parsing, name resolution against the lookups'
// catalog and translation (Translate); the only way out is an
// AutomationError, anything else thrown ends the process. A statement that
// translates must shape to the same literals the translation binds. The
// other half call one of the sixteen lookups with arbitrary arguments on a
// recording environment (a fake connection that answers nothing), take the
// statement the lookup sent and put it through the same path.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_text.h"
#include "jet/sql/sql_test_support.h"
#include "jet/sql/translator.h"
#include "modmain/mod_main.h"
#include "qorvel/automation_error.h"
#include "qorvel/kx.h"
#include "support/fakes.h"

namespace qorvel {
namespace {

[[noreturn]] void Fail(const char* what, const Text& statement) {
  std::fprintf(stderr, "dialect_fuzz: %s: \"%s\"\n", what, ToUtf8(statement).c_str());
  std::abort();
}

using fuzz::ConsumeText;

void Statement(const Text& statement) {
  static const sql_test::FakeCatalog catalog = sql_test::LookupCatalog();
  const jet::sql::DateReader read_date = sql_test::ReadTestDate;
  jet::sql::ShapedStatement shaped;
  try {
    shaped = jet::sql::Shape(statement, read_date);
  } catch (const AutomationError&) {
  }
  try {
    const jet::sql::Translation translation = jet::sql::Translate(statement, catalog, read_date);
    if (translation.parameters != shaped.literals) Fail("parameters differ from the shape's literals", statement);
    if (translation.columns.empty()) Fail("a translated statement has no columns", statement);
  } catch (const AutomationError&) {
  }
}

DateTime ConsumeDate(FuzzedDataProvider& in) {
  return DateTime(in.ConsumeFloatingPointInRange<double>(-700000.0, 3000000.0));
}

// The statement one lookup sends with arbitrary arguments, or nothing when
// it sends none (arguments it refuses before building one).
Text LookupStatement(FuzzedDataProvider& in) {
  testing::RecordingEnv env;
  KX kx(&env);
  modmain::ResetThisThread();
  const Text db = u"billing.mdb";
  const auto text = [&] { return ConsumeText(in, 40); };
  const auto number = [&] { return in.ConsumeIntegral<Long>(); };
  switch (in.ConsumeIntegralInRange(0, 15)) {
    case 0: kx.LastModified(db, text(), number()); break;
    case 1: kx.LastModifiedCaseClient(db, text(), number()); break;
    case 2: kx.LastPaymentDate(db, number()); break;
    case 3: kx.LastPaymentAmt(db, number()); break;
    case 4: kx.CreditAmount(db, number()); break;
    case 5: kx.CreditAmountRetainer(db, number()); break;
    case 6: kx.PrevBalDue(db, number(), number()); break;
    case 7: kx.PrevInvDateEntered(db, number(), number()); break;
    case 8: kx.AgedInvBalances(db, number(), in.ConsumeIntegral<Integer>(), in.ConsumeIntegral<Integer>()); break;
    case 9: kx.PymtCountByDateRange(db, number(), text(), text()); break;
    case 10: kx.InvoiceBalance(db, number()); break;
    case 11: kx.InvoiceFee(db, number()); break;
    case 12: kx.LTCBenefitTypeEnabledYN(db, number(), text()); break;
    case 13: kx.PymtsByDateRange(db, number(), ConsumeDate(in), ConsumeDate(in), text()); break;
    case 14: kx.WOffsByDateRange(db, number(), ConsumeDate(in), ConsumeDate(in), text()); break;
    default: kx.FeesByDateRange(db, number(), ConsumeDate(in), ConsumeDate(in), text()); break;
  }
  modmain::ResetThisThread();
  if (env.database.statements.size() > 1) Fail("a lookup sent more than one statement", Text());
  return env.database.statements.empty() ? Text() : env.database.statements.front();
}

void RunOne(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  if (in.ConsumeBool()) {
    Statement(ConsumeText(in, 4096));
  } else {
    const Text statement = LookupStatement(in);
    if (!statement.empty()) Statement(statement);
  }
}

}  // namespace
}  // namespace qorvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qorvel::RunOne(data, size);
  return 0;
}
