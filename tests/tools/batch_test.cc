// qorvel batch: line parsing, error lines, escaping, and the same output
// in input order whatever the number of jobs.
#include "batch.h"

#include <gtest/gtest.h>

#include "modmain/mod_main.h"
#include "qorvel/host.h"
#include "shared_dir.h"
#include "support/fakes.h"

namespace qorvel::tool {
namespace {

using testing::LocaleScope;

TEST(Batch, ResultsErrorsAndEscapes) {
  LocaleScope scope("en-US");
  const std::vector<std::string> input = {
      "FormatPhone\t\t5551234567",  // an empty field is an empty argument
      "formatzip\t123456789",  // names match without regard to case
      "FormatAddress\t12 Oak St\tApt 4\tSpringfield\tIL\t627011234\t-1",
      "NoSuchMethod\t1",
      "",
      "FormatZip",
      "FormatMinutes\tabc",
      "FormatZip\t#1",
      "FormatZip\ta\\b\ttoo many",
  };
  const BatchOutput out = RunBatch(input, BatchOptions{});
  const std::vector<std::string> expected = {
      "(555) 123-4567",
      "12345-6789",
      "12 Oak St\\r\\nApt 4\\r\\nSpringfield, IL 62701-1234",
      "#error: line 4: unknown method name \"NoSuchMethod\"; did you mean ",
      "#error: line 5: no method: a line is METHOD<TAB>ARG<TAB>...",
      "#error: line 6: FormatZip takes 1 argument, 0 given: FormatZip(Zip As Text) As Text",
      "#error: line 7: FormatMinutes: argument 1 (Minutes) cannot be read as Long",
      "\\#1",
      "#error: line 9: FormatZip takes 1 argument, 2 given",
  };
  ASSERT_EQ(out.lines.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(out.lines[i].substr(0, expected[i].size()), expected[i]) << "line " << i + 1;
  }
  EXPECT_EQ(out.failed, 5);
}

TEST(Batch, JsonLinesCarryTheCallItsBoxesOrTheError) {
  modmain::ResetThisThread();
  BatchOptions options;
  options.json = true;
  const BatchOutput out = RunBatch({"CreditAmount\t/nonexistent/x.mdb\t1", "FormatZip\t 12345 ", "Nope"}, options);
  modmain::ResetThisThread();
  ASSERT_EQ(out.lines.size(), 3u);
  EXPECT_NE(out.lines[0].find("\"value\": \"0.0000\""), std::string::npos);
  EXPECT_NE(out.lines[0].find("\"boxes\": [{\"prompt\": \"Unable to connect to /nonexistent/x.mdb.\\r\\n"),
            std::string::npos)
      << out.lines[0];
  EXPECT_NE(out.lines[0].find("\"buttons\": 64, \"title\": null}]"), std::string::npos);
  // The next call's line has none of the boxes before it.
  EXPECT_EQ(out.lines[1],
            "{\"method\": \"FormatZip\", \"result\": {\"type\": \"Text\", \"value\": \"12345\"}, "
            "\"args\": [\" 12345 \"], \"boxes\": []}");
  EXPECT_EQ(out.lines[2].rfind("{\"line\": 3, \"error\": \"unknown method name", 0), 0u);
}

TEST(Batch, SeveralJobsKeepTheInputOrder) {
  LocaleScope scope("en-US");
  std::vector<std::string> input;
  for (int i = 0; i < 1000; ++i) {
    input.push_back(i % 97 == 0 ? "Bad" : "FormatMinutes\t" + std::to_string(i * 7 - 3000));
  }
  const bool have_db = std::filesystem::exists(testing::SharedPath("fixtures/billing.mdb"));
  if (have_db) {
    const std::string db = testing::SharedPath("fixtures/billing.mdb").string();
    for (int i = 0; i < 300; ++i) {
      input.insert(input.begin() + i * 3, "CreditAmount\t" + db + "\t" + (i % 2 ? "417" : "7"));
    }
  }
  const BatchOutput one = RunBatch(input, BatchOptions{});
  for (const int jobs : {2, 8}) {
    BatchOptions options;
    options.jobs = jobs;
    const BatchOutput many = RunBatch(input, options);
    EXPECT_EQ(many.lines, one.lines) << jobs << " jobs";
    EXPECT_EQ(many.failed, one.failed);
  }
  EXPECT_EQ(one.lines[have_db ? 2 : 1], "-50 hr 07 mn");  // -2993 minutes
  if (have_db) {
    EXPECT_EQ(one.lines[0], "12.3456");
  }
}

TEST(Batch, EscapingKeepsEveryResultOnOneLine) {
  EXPECT_EQ(EscapeForLine("a\\b\tc\r\nd#"), "a\\\\b\\tc\\r\\nd#");
}

}  // namespace
}  // namespace qorvel::tool
