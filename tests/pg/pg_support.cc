// The tests' server and plain SQL.
#include "pg_support.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>

namespace qorvel::pg::testing {
namespace {

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

std::string ServerUri(std::string& why) {
  const std::string uri = FirstLine(QORVEL_PG_DIR "/uri");
  if (uri.empty()) {
    std::ifstream skipped(QORVEL_PG_DIR "/skipped");
    why.assign(std::istreambuf_iterator<char>(skipped), std::istreambuf_iterator<char>());
    if (why.empty()) why = "the server fixture (pg.server.start) did not run";
  }
  return uri;
}

std::string ClusterBase() { return FirstLine(QORVEL_PG_DIR "/base"); }

std::string WithDatabase(const std::string& uri, const std::string& name) {
  return "postgresql:///" + name + uri.substr(uri.find('?'));
}

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

ScratchDatabase::ScratchDatabase(const std::string& server_uri) : server_uri_(server_uri) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  name_ = std::string("t_") + test->test_suite_name() + "_" + test->name();
  for (char& c : name_) c = std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';
  name_.resize(std::min<std::size_t>(name_.size(), 63));
  Sql(server_uri_, "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
  Sql(server_uri_, "CREATE DATABASE " + name_);
  uri_ = WithDatabase(server_uri_, name_);
}

ScratchDatabase::~ScratchDatabase() { Sql(server_uri_, "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)"); }

}  // namespace qorvel::pg::testing
