// Benchmarks of the database engine on billing-large.mdb (56 MB, 20,000
// clients, 220,272 activity entries, 210,485 payments):
//
//   FirstLookup     a new connection and its first statement, which loads
//                   the tables the statement names and builds the indexes
//                   it needs; counter ratio_to_mdb_export is that time over
//                   the time mdb-export takes to print the same tables
//                   (measured here by running it, output to /dev/null, in
//                   turns with ours; medians of both).
//   WarmLookup/*    each shape of statement the lookups send (sum by
//                   person, payment join, invoice sum, aged rows, payment
//                   count) on a warm connection, a new number each time, so
//                   each call reads the clock (the file itself is checked
//                   for changes at most every 100 ms), tokenises, binds,
//                   steps and converts every value; timed in batches of 200
//                   (the reported time is per batch; counter us_per_lookup
//                   is per call); counter ratio_to_direct_sqlite is its
//                   time over the same SQL prepared once directly on the
//                   connection's copy of the tables, on the same numbers,
//                   in batches that take turns to go first (the second to
//                   run finds the rows in the processor's caches).
//   MirrorMemory    the memory of the mirror of every table, in MB, beside
//                   the file's size (counter ratio_to_file_size).
//
// Build and run: see bench/CMakeLists.txt.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "jet/database.h"
#include "jet/sql/translator.h"
#include "jet/values.h"
#include "qorvel/automation_error.h"

extern char** environ;

namespace qorvel::jet {
namespace {

const std::filesystem::path kLarge = std::filesystem::path(QORVEL_SHARED_DIR) / "fixtures/billing-large.mdb";
constexpr char16_t kPassword[] = u"PZqfnWM4062";

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

DatabaseOptions Options() {
  DatabaseOptions options;
  options.read_date = [](std::u16string_view text) {
    const auto date = ParseIsoDateTime(text);
    if (!date) throw AutomationError(-2147217900, u"not an ISO date");
    return *date;
  };
  options.now = [] { return *DateTime::FromParts(2012, 6, 15, 12, 0, 0); };
  return options;
}

// Runs mdb-export on `table` with its output thrown away; false when it
// cannot be run.
bool RunMdbExport(const std::string& table) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const std::string file = kLarge.string();
  std::vector<char*> argv = {const_cast<char*>("mdb-export"), const_cast<char*>(file.c_str()),
                             const_cast<char*>(table.c_str()), nullptr};
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, "mdb-export", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The time mdb-export takes to print the tables, in seconds; 0 when it
// cannot be run.
double MdbExportSeconds(const std::vector<std::string>& tables) {
  const auto start = Clock::now();
  for (const auto& table : tables) {
    if (!RunMdbExport(table)) return 0;
  }
  return Seconds(Clock::now() - start);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Ours and mdb-export take turns, so that both see the machine as it is at
// the time; the figures are the medians of each.
void FirstLookup(benchmark::State& state, const char16_t* statement, std::vector<std::string> tables) {
  if (!std::filesystem::exists(kLarge)) {
    state.SkipWithError(("fixture not found: " + kLarge.string()).c_str());
    return;
  }
  std::vector<double> ours;
  std::vector<double> theirs;
  std::unique_ptr<Database> db;
  for (auto _ : state) {
    const auto start = Clock::now();
    db = Database::Open(kLarge, kPassword, Options());
    ResultSet result = db->Execute(statement);
    benchmark::DoNotOptimize(result);
    ours.push_back(Seconds(Clock::now() - start));
    state.PauseTiming();
    db.reset();
    theirs.push_back(MdbExportSeconds(tables));
    state.ResumeTiming();
  }
  const double seconds = Median(ours);
  const double export_seconds = Median(theirs);
  state.counters["seconds"] = seconds;
  if (export_seconds > 0) {
    state.counters["mdb_export_seconds"] = export_seconds;
    state.counters["ratio_to_mdb_export"] = seconds / export_seconds;
  } else {
    state.SetLabel("mdb-export not available: no ratio");
  }
}

BENCHMARK_CAPTURE(FirstLookup, activity_sum_by_person,
                  u"Select Sum(Fee) From ActivityLog Where Active = 1 And PeopleID = 417",
                  std::vector<std::string>{"ActivityLog"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

BENCHMARK_CAPTURE(FirstLookup, payment_join_by_person,
                  u"Select Max (Payment.PaymentDate) From Payment Inner Join ActivityLog On "
                  u"Payment.ActivityLogGUID = ActivityLog.GUID Where Payment.Active = 1 And "
                  u"ActivityLog.Active = 1 And ActivityLog.PeopleID = 417",
                  std::vector<std::string>{"Payment", "ActivityLog"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

// The shapes of statement the lookups send, each for 1,000 people (or
// invoices): one statement text per call, as the lookups build them.
struct Shape {
  const char16_t* before;  // the text before the number
  const char16_t* after;   // and after it
  int modulus;             // numbers run 1 .. modulus
};

const Shape kSumByPerson = {u"Select Sum(Balance) From ActivityLog Where Active = 1 And PeopleID = ", u"", 20000};
const Shape kPaymentJoin = {
    u"Select Max (PaymentDate) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
    u"ActivityLog.GUID Where ActivityLog.Active = 1 And Payment.Active = 1 And Payment > 0 And PeopleID = ",
    u"", 20000};
const Shape kInvoiceSum = {u"Select Sum(Balance) From ActivityLog Where Active = 1 And InvoiceNumber = ", u"",
                           60000};
const Shape kAgedRows = {u"Select Balance, DateDiff('d', InvoiceDate, Now()) As Age From ActivityLog Where "
                         u"Active = 1 And InvoiceDate Is Not Null And PeopleID = ",
                         u"", 20000};
const Shape kPaymentCount = {
    u"Select Count(*) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = ActivityLog.GUID "
    u"Where Payment.Active = 1 And Payment.DateEntered > #2010-01-01# And Payment.DateEntered <= "
    u"#2011-12-31 23:59:59# And PeopleID = ",
    u"", 20000};

std::vector<std::u16string> WarmStatements(const Shape& shape) {
  std::vector<std::u16string> statements;
  for (int k = 1; k <= 1000; ++k) {
    statements.push_back(shape.before + FromUtf8(std::to_string(k * 17 % shape.modulus + 1)) + shape.after);
  }
  return statements;
}

// The same statements run directly on the engine's copy: the translated SQL
// prepared once, the literals bound with SQLite's own calls, every value of
// every row read as SQLite stores it.
class DirectLookup {
 public:
  DirectLookup(Database& db, const std::vector<std::u16string>& statements) : db_(db.mirror_handle()) {
    const auto options = Options();
    const sql::Translation translation = sql::Translate(statements[0], db, options.read_date);
    sqlite3_prepare_v3(db_, translation.sqlite_sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
    for (const auto& statement : statements) {
      literals_.push_back(sql::Shape(statement, options.read_date).literals);
    }
  }
  ~DirectLookup() { sqlite3_finalize(stmt_); }
  DirectLookup(const DirectLookup&) = delete;
  DirectLookup& operator=(const DirectLookup&) = delete;

  std::int64_t Run(std::size_t i) {
    const auto& literals = literals_[i % literals_.size()];
    for (std::size_t k = 0; k < literals.size(); ++k) {
      const int at = static_cast<int>(k + 1);
      const Variant& v = literals[k];
      if (v.type() == VarType::kDate) {
        sqlite3_bind_double(stmt_, at, v.AsDate().value());
      } else {
        sqlite3_bind_int64(stmt_, at, v.AsLong());
      }
    }
    std::int64_t value = 0;
    const int columns = sqlite3_column_count(stmt_);
    while (sqlite3_step(stmt_) == SQLITE_ROW) {
      for (int c = 0; c < columns; ++c) {
        switch (sqlite3_column_type(stmt_, c)) {
          case SQLITE_INTEGER: value += sqlite3_column_int64(stmt_, c); break;
          case SQLITE_FLOAT: value += static_cast<std::int64_t>(sqlite3_column_double(stmt_, c)); break;
          case SQLITE_TEXT: value += sqlite3_column_bytes16(stmt_, c); break;
          default: break;
        }
      }
    }
    sqlite3_reset(stmt_);
    return value;
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  std::vector<std::vector<Variant>> literals_;
};

// The large fixture opened and warmed by its first statement, or null
// (the benchmark then reports the missing file and skips).
std::unique_ptr<Database> WarmDatabase(benchmark::State& state,
                                       const std::vector<std::u16string>& statements) {
  if (!std::filesystem::exists(kLarge)) {
    state.SkipWithError(("fixture not found: " + kLarge.string()).c_str());
    return nullptr;
  }
  auto db = Database::Open(kLarge, kPassword, Options());
  db->Execute(statements[0]);
  return db;
}

// A warm lookup of one shape: ours and the direct ones run in alternating
// batches, so that both see the same machine; the benchmark's own time is
// ours alone.
void WarmLookup(benchmark::State& state, const Shape& shape) {
  const auto statements = WarmStatements(shape);
  auto db = WarmDatabase(state, statements);
  if (!db) return;
  DirectLookup direct(*db, statements);
  constexpr int kBatch = 200;
  std::size_t i = 0;
  double ours = 0;
  double baseline = 0;
  std::int64_t sink = 0;
  const auto timed = [](const auto& run) {
    const auto start = Clock::now();
    for (int k = 0; k < kBatch; ++k) run(k);
    return Seconds(Clock::now() - start);
  };
  const auto run_ours = [&](int k) {
    ResultSet result = db->Execute(statements[(i + static_cast<std::size_t>(k)) % statements.size()]);
    benchmark::DoNotOptimize(result);
  };
  const auto run_direct = [&](int k) { sink += direct.Run(i + static_cast<std::size_t>(k)); };
  bool ours_first = true;
  for (auto _ : state) {
    // The second to run a batch finds its rows in the processor's caches:
    // each side goes first every other time.
    double batch = 0;
    if (ours_first) {
      batch = timed(run_ours);
      baseline += timed(run_direct);
    } else {
      baseline += timed(run_direct);
      batch = timed(run_ours);
    }
    state.SetIterationTime(batch);
    ours += batch;
    ours_first = !ours_first;
    i += kBatch;
  }
  benchmark::DoNotOptimize(sink);
  const double calls = static_cast<double>(state.iterations()) * kBatch;
  state.counters["us_per_lookup"] = ours / calls * 1e6;
  state.counters["direct_sqlite_us"] = baseline / calls * 1e6;
  state.counters["ratio_to_direct_sqlite"] = ours / baseline;
}
// Each shape as WarmLookup/<name>, timed by the batches of ours alone.
const bool kWarmLookupsRegistered = [] {
  for (const auto& [name, shape] : {std::pair{"sum_by_person", &kSumByPerson}, std::pair{"payment_join", &kPaymentJoin},
                                    std::pair{"invoice_sum", &kInvoiceSum}, std::pair{"aged_rows", &kAgedRows},
                                    std::pair{"payment_count", &kPaymentCount}}) {
    benchmark::RegisterBenchmark((std::string("WarmLookup/") + name).c_str(),
                                 [s = shape](benchmark::State& state) { WarmLookup(state, *s); })
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(2.0)
        ->UseManualTime();
  }
  return true;
}();

void MirrorMemory(benchmark::State& state) {
  if (!std::filesystem::exists(kLarge)) {
    state.SkipWithError(("fixture not found: " + kLarge.string()).c_str());
    return;
  }
  std::size_t memory = 0;
  for (auto _ : state) {
    auto db = Database::Open(kLarge, kPassword, Options());
    db->LoadAllTables();
    memory = db->MirrorMemory();
  }
  const double file = static_cast<double>(std::filesystem::file_size(kLarge));
  state.counters["mirror_MB"] = static_cast<double>(memory) / 1e6;
  state.counters["file_MB"] = file / 1e6;
  state.counters["ratio_to_file_size"] = static_cast<double>(memory) / file;
}
BENCHMARK(MirrorMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace qorvel::jet

BENCHMARK_MAIN();
