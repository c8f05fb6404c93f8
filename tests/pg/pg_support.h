// The tests' PostgreSQL server (the CTest fixture of server_fixture.sh), a
// database of their own on it for each test, and plain SQL through libpq.
#ifndef QORVEL_TESTS_PG_PG_SUPPORT_H_
#define QORVEL_TESTS_PG_PG_SUPPORT_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qorvel::pg::testing {

// The fixture server's URI, or empty with `why` saying why there is none.
std::string ServerUri(std::string& why);

// The folder where a test may make a cluster of its own.
std::string ClusterBase();

// `uri` (the fixture's form, "postgresql:///DB?host=...") naming database `name`.
std::string WithDatabase(const std::string& uri, const std::string& name);

// Runs SQL; returns the rows as text ("" for Null), or adds a test failure.
std::vector<std::vector<std::string>> Sql(const std::string& uri, const std::string& sql);

// A new, empty database named after the running test, dropped at the end.
class ScratchDatabase {
 public:
  explicit ScratchDatabase(const std::string& server_uri);
  ~ScratchDatabase();
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;
  const std::string& name() const { return name_; }
  const std::string& uri() const { return uri_; }

 private:
  std::string server_uri_;
  std::string name_;
  std::string uri_;
};

}  // namespace qorvel::pg::testing

// Skips the test, saying why, when the fixture has no server; else sets
// `uri` to its URI.
#define QORVEL_REQUIRE_SERVER(uri)                                         \
  std::string uri;                                                         \
  do {                                                                     \
    std::string why_;                                                      \
    uri = ::qorvel::pg::testing::ServerUri(why_);                          \
    if (uri.empty()) GTEST_SKIP() << "no PostgreSQL server: " << why_;     \
  } while (0)

#endif  // QORVEL_TESTS_PG_PG_SUPPORT_H_
