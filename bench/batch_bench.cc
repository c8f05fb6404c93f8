// What `qorvel batch` spends on a line beyond the lookup the line asks for,
// on billing-large.mdb, warm (tables and indexes loaded):
//
//   BatchLine   the sixteen lookups of 64 clients in the order a statement
//               report calls them (as bench/make_batch.sh writes them), run
//               through the batch path (reading and splitting the line, the
//               late-bound call, the result's text, its output line) in
//               batches of 1,024 lines; counter lookup_us is the same calls
//               made early bound on KX, run in alternating batches, and
//               overhead_us the difference per line.
//
//   cmake --build build --target qorvel_bench_batch && build/qorvel_bench_batch
//
// Whole batches (loading included, 1 and 2 jobs, peak memory):
// bench/batch_jobs.sh.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "batch.h"
#include "qorvel/host.h"
#include "qorvel/kx.h"

namespace {

using qorvel::DateTime;
using qorvel::Integer;
using qorvel::KX;
using qorvel::Long;
using qorvel::Text;
using Clock = std::chrono::steady_clock;

const std::string kDb = (std::filesystem::path(QORVEL_SHARED_DIR) / "fixtures/billing-large.mdb").string();

// Line m of a client's sixteen, as make_batch.sh writes it, and the same
// call early bound.
std::string Line(int m, Long p, Long inv) {
  const std::string db = kDb + "\t";
  const std::string ps = std::to_string(p);
  const std::string is = std::to_string(inv);
  switch (m) {
    case 0: return "LastModified\t" + db + "Client\t" + ps;
    case 1: return "LastModifiedCaseClient\t" + db + "Billing\t" + ps;
    case 2: return "LastPaymentDate\t" + db + ps;
    case 3: return "LastPaymentAmt\t" + db + ps;
    case 4: return "CreditAmount\t" + db + ps;
    case 5: return "CreditAmountRetainer\t" + db + ps;
    case 6: return "PrevBalDue\t" + db + ps + "\t" + is;
    case 7: return "PrevInvDateEntered\t" + db + ps + "\t" + is;
    case 8: return "AgedInvBalances\t" + db + ps + "\t0\t30";
    case 9: return "PymtCountByDateRange\t" + db + ps + "\t1/1/2010\t12/31/2011 23:59:59";
    case 10: return "InvoiceBalance\t" + db + is;
    case 11: return "InvoiceFee\t" + db + is;
    case 12: return "LTCBenefitTypeEnabledYN\t" + db + ps + "\tRespite";
    case 13: return "PymtsByDateRange\t" + db + ps + "\t1/1/2010\t12/31/2011\t";
    case 14: return "WOffsByDateRange\t" + db + ps + "\t1/1/2010\t12/31/2011\t";
    default: return "FeesByDateRange\t" + db + ps + "\t1/1/2010\t12/31/2011\t";
  }
}

void Call(KX& kx, const Text& db, int m, Long p, Long inv) {
  const DateTime from(40179.0);  // 2010-01-01
  const DateTime to(40908.0);    // 2011-12-31
  switch (m) {
    case 0: benchmark::DoNotOptimize(kx.LastModified(db, u"Client", p)); break;
    case 1: benchmark::DoNotOptimize(kx.LastModifiedCaseClient(db, u"Billing", p)); break;
    case 2: benchmark::DoNotOptimize(kx.LastPaymentDate(db, p)); break;
    case 3: benchmark::DoNotOptimize(kx.LastPaymentAmt(db, p)); break;
    case 4: benchmark::DoNotOptimize(kx.CreditAmount(db, p)); break;
    case 5: benchmark::DoNotOptimize(kx.CreditAmountRetainer(db, p)); break;
    case 6: benchmark::DoNotOptimize(kx.PrevBalDue(db, p, inv)); break;
    case 7: benchmark::DoNotOptimize(kx.PrevInvDateEntered(db, p, inv)); break;
    case 8: benchmark::DoNotOptimize(kx.AgedInvBalances(db, p, Integer{0}, Integer{30})); break;
    case 9: benchmark::DoNotOptimize(kx.PymtCountByDateRange(db, p, u"1/1/2010", u"12/31/2011 23:59:59")); break;
    case 10: benchmark::DoNotOptimize(kx.InvoiceBalance(db, inv)); break;
    case 11: benchmark::DoNotOptimize(kx.InvoiceFee(db, inv)); break;
    case 12: benchmark::DoNotOptimize(kx.LTCBenefitTypeEnabledYN(db, p, u"Respite")); break;
    case 13: benchmark::DoNotOptimize(kx.PymtsByDateRange(db, p, from, to, u"")); break;
    case 14: benchmark::DoNotOptimize(kx.WOffsByDateRange(db, p, from, to, u"")); break;
    default: benchmark::DoNotOptimize(kx.FeesByDateRange(db, p, from, to, u"")); break;
  }
}

void BatchLine(benchmark::State& state) {
  if (!std::filesystem::exists(kDb)) {
    state.SkipWithError("fixtures/billing-large.mdb not found");
    return;
  }
  qorvel::SetUserLocale("en-US");
  std::vector<std::string> lines;
  std::vector<Long> people;
  for (Long c = 0; c < 64; ++c) {
    const Long p = 1 + c * 313;
    people.push_back(p);
    for (int m = 0; m < 16; ++m) lines.push_back(Line(m, p, 1000 + p));
  }
  const qorvel::tool::BatchOptions options;
  const Text db = qorvel::FromUtf8(kDb);
  KX kx;
  qorvel::tool::RunBatch(lines, options, nullptr);  // loads tables, builds indexes
  double batch = 0;
  double direct = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    benchmark::DoNotOptimize(qorvel::tool::RunBatch(lines, options, nullptr));
    const auto middle = Clock::now();
    state.PauseTiming();
    for (const Long p : people) {
      for (int m = 0; m < 16; ++m) Call(kx, db, m, p, 1000 + p);
    }
    direct += std::chrono::duration<double>(Clock::now() - middle).count();
    state.ResumeTiming();
    batch += std::chrono::duration<double>(middle - start).count();
  }
  const double calls = static_cast<double>(state.iterations() * lines.size());
  state.counters["us_per_line"] = batch / calls * 1e6;
  state.counters["lookup_us"] = direct / calls * 1e6;
  state.counters["overhead_us"] = (batch - direct) / calls * 1e6;
}
BENCHMARK(BatchLine)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
