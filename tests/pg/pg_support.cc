// The tests' server and plain SQL.
#include "pg_support.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <memory>

#include "jet/values.h"

namespace qorvel::pg::testing {
namespace {

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

std::vector<std::vector<std::string>> Sql(const std::string& uri, const std::string& sql) {
  const std::unique_ptr<PGconn, decltype(&PQfinish)> connection(PQconnectdb(uri.c_str()), &PQfinish);
  std::vector<std::vector<std::string>> rows;
  if (PQstatus(connection.get()) != CONNECTION_OK) {
    ADD_FAILURE() << PQerrorMessage(connection.get());
    return rows;
  }
  PQsetNoticeProcessor(connection.get(), [](void*, const char*) {}, nullptr);
  const std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(connection.get(), sql.c_str()), &PQclear);
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    ADD_FAILURE() << sql << ": " << PQresultErrorMessage(result.get());
    return rows;
  }
  for (int r = 0; r < PQntuples(result.get()); ++r) {
    rows.emplace_back();
    for (int c = 0; c < PQnfields(result.get()); ++c) rows.back().push_back(PQgetvalue(result.get(), r, c));
  }
  return rows;
}

DatabaseOptions Options() {
  return {[](std::u16string_view t) { return *jet::ParseIsoDateTime(t); }, [] { return DateTime(40647.5); }};
}

void ServerTest::SetUp() {
  server_ = FirstLine(QORVEL_PG_DIR "/uri");
  if (server_.empty()) {
    std::ifstream skipped(QORVEL_PG_DIR "/skipped");
    const std::string why{std::istreambuf_iterator<char>(skipped), std::istreambuf_iterator<char>()};
    GTEST_SKIP() << "no PostgreSQL server: " << (why.empty() ? "the server fixture (pg.server.start) did not run" : why);
  }
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  database_ = std::string("t_") + test->test_suite_name() + "_" + test->name();
  for (char& c : database_) c = std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';
  database_.resize(std::min<std::size_t>(database_.size(), 63));
  Sql(server_, "DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
  Sql(server_, "CREATE DATABASE " + database_);
  uri_ = "postgresql:///" + database_ + server_.substr(server_.find('?'));
}

void ServerTest::TearDown() {
  if (!database_.empty()) Sql(server_, "DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
}

std::string ServerTest::ClusterBase() { return FirstLine(QORVEL_PG_DIR "/base"); }

}  // namespace qorvel::pg::testing
