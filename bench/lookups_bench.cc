// The sixteen lookups of KX on billing-large.mdb, warm: the thread's
// connection is open and every table and index a lookup needs is loaded, so
// each iteration is what one call in a long report costs. Each iteration
// asks for the next of 64 clients (or invoices), so the figures are not
// those of one cached row.
//
//   cmake --build build --target qorvel_bench_lookups && build/qorvel_bench_lookups
#include <benchmark/benchmark.h>

#include <filesystem>
#include <functional>

#include "qorvel/host.h"
#include "qorvel/kx.h"

namespace {

using qorvel::Currency;
using qorvel::DateTime;
using qorvel::Integer;
using qorvel::KX;
using qorvel::Long;
using qorvel::Text;

const Text& Db() {
  static const Text path = qorvel::FromUtf8(
      (std::filesystem::path(QORVEL_SHARED_DIR) / "fixtures/billing-large.mdb").string());
  return path;
}

// Runs `call` for clients 1, 313, 625, ... (64 of them) in turn.
void Run(benchmark::State& state, const std::function<void(KX&, Long)>& call) {
  if (!std::filesystem::exists(qorvel::ToUtf8(Db()))) {
    state.SkipWithError("fixtures/billing-large.mdb not found");
    return;
  }
  qorvel::SetUserLocale("en-US");
  KX kx;
  for (Long i = 0; i < 64; ++i) call(kx, 1 + i * 313);  // loads tables, builds indexes
  Long i = 0;
  for (auto _ : state) {
    call(kx, 1 + (i++ % 64) * 313);
  }
}

const DateTime kFrom(40179.0);  // 2010-01-01
const DateTime kTo(40908.0);    // 2011-12-31

#define LOOKUP(name, body)                                               \
  void name(benchmark::State& state) {                                   \
    Run(state, [](KX& kx, Long id) { benchmark::DoNotOptimize(body); }); \
  }                                                                      \
  BENCHMARK(name)->Unit(benchmark::kMicrosecond)

LOOKUP(LastModified, kx.LastModified(Db(), u"Client", id));
LOOKUP(LastModifiedCaseClient, kx.LastModifiedCaseClient(Db(), u"Billing", id));
LOOKUP(LastPaymentDate, kx.LastPaymentDate(Db(), id));
LOOKUP(LastPaymentAmt, kx.LastPaymentAmt(Db(), id));
LOOKUP(CreditAmount, kx.CreditAmount(Db(), id));
LOOKUP(CreditAmountRetainer, kx.CreditAmountRetainer(Db(), id));
LOOKUP(PrevBalDue, kx.PrevBalDue(Db(), id, Long{40000}));
LOOKUP(PrevInvDateEntered, kx.PrevInvDateEntered(Db(), id, Long{40000}));
LOOKUP(AgedInvBalances, kx.AgedInvBalances(Db(), id, Integer{0}, Integer{32767}));
LOOKUP(PymtCountByDateRange, kx.PymtCountByDateRange(Db(), id, u"1/1/2010", u"12/31/2011 23:59:59"));
LOOKUP(InvoiceBalance, kx.InvoiceBalance(Db(), Long{1000 + id}));
LOOKUP(InvoiceFee, kx.InvoiceFee(Db(), Long{1000 + id}));
LOOKUP(LTCBenefitTypeEnabledYN, kx.LTCBenefitTypeEnabledYN(Db(), id, u"Respite"));
LOOKUP(PymtsByDateRange, kx.PymtsByDateRange(Db(), id, kFrom, kTo, u""));
LOOKUP(WOffsByDateRange, kx.WOffsByDateRange(Db(), id, kFrom, kTo, u""));
LOOKUP(FeesByDateRange, kx.FeesByDateRange(Db(), id, kFrom, kTo, u""));
LOOKUP(GetDateFormat, (static_cast<void>(id), kx.GetDateFormat()));

}  // namespace

BENCHMARK_MAIN();
