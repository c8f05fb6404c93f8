// The tests' PostgreSQL server (the CTest fixture of server_fixture.sh), a
// database of its own on it for each test, and plain SQL through libpq.
#ifndef QORVEL_TESTS_PG_PG_SUPPORT_H_
#define QORVEL_TESTS_PG_PG_SUPPORT_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pg/database.h"

namespace qorvel::pg::testing {

// Runs SQL; returns the rows as text ("" for Null), or adds a test failure.
std::vector<std::vector<std::string>> Sql(const std::string& uri, const std::string& sql);

// The back end's options in the tests: dates read as ISO text, Now() at
// 2011-04-14 12:00.
DatabaseOptions Options();

// A test on the fixture's server: skipped, saying why, where there is none;
// else with a new, empty database of its own, named after the test and
// dropped at the end.
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The folder where a test may make a cluster of its own.
  static std::string ClusterBase();

  std::string server_;    // the server's URI: "postgresql:///postgres?host=...&user=..."
  std::string database_;  // the test's database
  std::string uri_;       // its URI
};

}  // namespace qorvel::pg::testing

#endif  // QORVEL_TESTS_PG_PG_SUPPORT_H_
