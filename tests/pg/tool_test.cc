// The tool against a server: convert into a database (refused a second
// time unless --replace, the target left as it was), then sql reading it
// back by URI (the lookups by URI: the back end's tests).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "pg_support.h"
#include "shared_dir.h"

namespace qorvel::pg {
namespace {

struct Outcome {
  int status;
  std::string output;  // standard output and standard error together
};

Outcome RunTool(const std::string& arguments) {
  const std::string command = std::string("'") + QORVEL_BINARY + "' " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "popen failed"};
  std::string output;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

class Tool : public testing::ServerTest {};

TEST_F(Tool, ConvertToServerAndReadBack) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  const std::string mdb = "'" + qorvel::testing::SharedPath("fixtures/billing.mdb").string() + "'";
  const std::string uri = "'" + uri_ + "'";
  struct Case {
    const char* what;
    std::string arguments;
    int status;
    std::string output;  // a part of what it prints
  };
  const Case cases[] = {
      {"convert", "convert --quiet " + mdb + " " + uri, 0, "wrote 7 tables, 45 rows, 44 columns to postgresql:"},
      {"again", "convert " + mdb + " " + uri, 2, "--replace drops those tables"},
      {"replaced", "convert --replace " + mdb + " " + uri, 0, "wrote 7 tables, 45 rows"},
      {"sql by URI", "sql " + uri + " \"Select Sum(Balance) From Credit Where Active = 1 And PeopleID = 417\"", 0,
       "Expr1000 (Currency)\n330.5\n1 row\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = RunTool(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.what << ": " << outcome.output;
    EXPECT_NE(outcome.output.find(c.output), std::string::npos) << c.what << ": " << outcome.output;
  }
}

}  // namespace
}  // namespace qorvel::pg
