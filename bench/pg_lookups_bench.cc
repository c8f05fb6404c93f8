// Each statement shape the lookups send, warm, answered by a PostgreSQL
// server through QORVEL's back end (pg::Database: the statement shaped,
// its prepared statement found, the rows decoded as the file engine types
// them) against the same SQL prepared once through plain libpq (only
// PQexecPrepared and reading each value's bytes). Both ask for the next of
// 64 clients (or invoices) each iteration, on one connection each over the
// server's Unix socket.
//
// The benchmark starts its own throwaway server (scripts/pg-server.sh) and
// copies ../shared/fixtures/billing-large.mdb into it first, which takes a
// while; the server is removed at the end.
//   cmake --build build --target qorvel_bench_pg_lookups && build/qorvel_bench_pg_lookups
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/sql/lexer.h"
#include "jet/sql/parser.h"
#include "jet/sql/resolver.h"
#include "jet/values.h"
#include "pg/database.h"
#include "pg/emitter.h"
#include "pg/server_catalog.h"
#include "pg/values.h"
#include "qorvel/database.h"
#include "qorvel/types.h"

namespace {

using qorvel::Text;
namespace pg = qorvel::pg;
namespace jet = qorvel::jet;

// The shapes, with {P} a client and {I} an invoice number.
const char16_t* const kShapes[][2] = {
    {u"last_modified", u"Select Max (DateEntered), Max (DateModified) From Client Where PeopleID = {P}"},
    {u"last_modified_case", u"Select Max (DateEntered), Max (DateModified) From CaseClientContact Where PeopleID = "
                            u"{P} And Category = 'Billing'"},
    {u"last_payment", u"Select Payment From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
                      u"ActivityLog.GUID Where ActivityLog.Active = 1 And Payment.Active = 1 And Payment > 0 And "
                      u"PeopleID = {P} Order By PaymentDate Desc"},
    {u"credit_retainer", u"Select Sum(Balance) From Credit Where Active = 1 And Retainer = 1 And PeopleID = {P}"},
    {u"prev_balance", u"Select Sum(Balance) From ActivityLog Where Active = 1 And InvoiceNumber Is Not Null And "
                      u"InvoiceNumber < {I} And PeopleID = {P}"},
    {u"prev_invoice_date", u"Select Max (DateEntered) From Invoice Where Status = 1 And InvoiceNumber < {I} And "
                           u"PeopleID = {P}"},
    {u"invoice_fee", u"Select Sum(Fee) From ActivityLog Where Active = 1 And InvoiceNumber = {I}"},
    {u"aged_balances", u"Select Balance, DateDiff('d', InvoiceDate, Now()) As Age From ActivityLog Where Active = 1 "
                       u"And InvoiceDate Is Not Null And PeopleID = {P}"},
    {u"payment_count", u"Select Count(*) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
                       u"ActivityLog.GUID Where Payment.Active = 1 And Payment.DateEntered > #2010-01-01# And "
                       u"Payment.DateEntered <= #2011-12-31# And PeopleID = {P}"},
    {u"ltc_enabled", u"Select Enabled From LTCBenefit Where PeopleID = {P} And BenefitType = 'Respite'"},
    {u"payments_in_period", u"Select Sum(Payment) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = "
                            u"ActivityLog.GUID Where Payment.Active = 1 And DateValue(Payment.PaymentDate) >= "
                            u"#2010-01-01# And DateValue(Payment.PaymentDate) <= #2011-12-31# And PeopleID = {P} "
                            u"And CareProviderID = ''"},
    {u"fees_in_period", u"Select Sum(Fee) From ActivityLog Where Active = 1 And DateValue(ActivityDate) >= "
                        u"#2010-01-01# And DateValue(ActivityDate) <= #2011-12-31# And PeopleID = {P} And "
                        u"CareProviderID = ''"},
};

constexpr int kClients = 64;

Text Filled(Text shape, int i) {
  const auto put = [&shape](const Text& hole, const Text& value) {
    for (std::size_t at; (at = shape.find(hole)) != Text::npos;) shape.replace(at, hole.size(), value);
  };
  put(u"{P}", qorvel::FromUtf8(std::to_string(1 + i * 313)));
  put(u"{I}", qorvel::FromUtf8(std::to_string(1000 + i * 950)));
  return shape;
}

qorvel::DateTime ReadDate(std::u16string_view text) { return *jet::ParseIsoDateTime(text); }

pg::DatabaseOptions Options() { return {ReadDate, [] { return qorvel::DateTime(40647.5); }}; }

// The throwaway server with the large fixture in it, for the whole run.
struct Server {
  std::string dir;
  std::string uri;
  std::string error;

  Server() {
    const std::filesystem::path mdb = std::filesystem::path(QORVEL_SHARED_DIR) / "fixtures/billing-large.mdb";
    if (!std::filesystem::exists(mdb)) {
      error = "fixtures/billing-large.mdb not found";
      return;
    }
    char folder[] = "/tmp/qorvel-pg-bench.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
      error = "no temporary folder";
      return;
    }
    std::filesystem::permissions(folder, std::filesystem::perms(0755));
    dir = std::string(folder) + "/cluster";
    FILE* started = popen(("'" QORVEL_PG_SERVER_SCRIPT "' start '" + dir + "' 2>/dev/null").c_str(), "r");
    char line[1024] = {};
    if (started == nullptr || std::fgets(line, sizeof line, started) == nullptr || pclose(started) != 0) {
      error = "scripts/pg-server.sh could not start a server";
      return;
    }
    uri = line;
    while (!uri.empty() && (uri.back() == '\n' || uri.back() == '\r')) uri.pop_back();
    // Copied as `qorvel convert` copies it, opened with the component's password.
    qorvel::Result<qorvel::Database> source = qorvel::Database::Open(qorvel::FromUtf8(mdb.string()));
    if (!source.ok()) {
      error = "cannot open the fixture: " + qorvel::ToUtf8(source.error().description());
      return;
    }
    const auto copied = source.value().ExportToPostgres(qorvel::FromUtf8(uri));
    if (!copied.ok()) error = "export failed: " + qorvel::ToUtf8(copied.error().description());
  }
  ~Server() {
    if (!dir.empty()) {
      const std::string stop = "'" QORVEL_PG_SERVER_SCRIPT "' stop '" + dir + "' >/dev/null 2>&1";
      if (std::system(stop.c_str()) != 0) std::fprintf(stderr, "could not stop the server in %s\n", dir.c_str());
    }
  }
};

Server& TheServer() {
  static Server server;
  return server;
}

void Qorvel(benchmark::State& state, const char16_t* shape) {
  Server& server = TheServer();
  if (!server.error.empty()) return state.SkipWithError(server.error.c_str());
  const auto database = pg::Database::Open(server.uri, Options());
  std::vector<Text> statements;
  for (int i = 0; i < kClients; ++i) statements.push_back(Filled(shape, i));
  for (const Text& statement : statements) database->Execute(statement);  // prepared
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(database->Execute(statements[i++ % statements.size()]));
  }
}

void PlainLibpq(benchmark::State& state, const char16_t* shape) {
  Server& server = TheServer();
  if (!server.error.empty()) return state.SkipWithError(server.error.c_str());
  PGconn* connection = PQconnectdb(server.uri.c_str());
  std::unique_ptr<PGconn, void (*)(PGconn*)> owned(connection, PQfinish);
  pg::ServerCatalog catalog;
  catalog.Load(connection, server.uri);
  // The same SQL the back end prepares, and each statement's parameters.
  std::string sql;
  std::vector<std::vector<std::optional<std::string>>> parameters;
  for (int i = 0; i < kClients; ++i) {
    const Text statement = Filled(shape, i);
    std::vector<qorvel::Variant> literals;
    const auto tokens = jet::sql::Tokenize(statement, ReadDate, &literals);
    auto tree = jet::sql::Parse(statement, tokens);
    jet::sql::Resolve(&tree, catalog);
    const pg::Emitted emitted = pg::Emit(tree, literals);
    sql = emitted.sql;
    std::vector<std::optional<std::string>> texts;
    for (const qorvel::Variant& literal : literals) texts.push_back(pg::ValueText(literal));
    if (emitted.now_parameter != 0) texts.push_back(pg::TimestampText(qorvel::DateTime(40647.5)));
    parameters.push_back(std::move(texts));
  }
  PQclear(PQprepare(connection, "plain", sql.c_str(), 0, nullptr));
  std::vector<std::vector<const char*>> values;
  for (const auto& texts : parameters) {
    values.emplace_back();
    for (const auto& text : texts) values.back().push_back(text ? text->c_str() : nullptr);
  }
  std::size_t i = 0;
  for (auto _ : state) {
    const std::vector<const char*>& these = values[i++ % values.size()];
    PGresult* result = PQexecPrepared(connection, "plain", static_cast<int>(these.size()), these.data(), nullptr,
                                      nullptr, 1);
    if (PQresultStatus(result) != PGRES_TUPLES_OK) {
      state.SkipWithError(PQresultErrorMessage(result));
      PQclear(result);
      break;
    }
    for (int r = 0; r < PQntuples(result); ++r) {
      for (int c = 0; c < PQnfields(result); ++c) benchmark::DoNotOptimize(PQgetvalue(result, r, c));
    }
    PQclear(result);
  }
}

const bool kRegistered = [] {
  for (const auto& [name, shape] : kShapes) {
    const std::string label = qorvel::ToUtf8(name);
    benchmark::RegisterBenchmark(("qorvel/" + label).c_str(), Qorvel, shape)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("libpq/" + label).c_str(), PlainLibpq, shape)->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
