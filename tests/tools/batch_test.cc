// qorvel batch: line parsing, error lines, escaping, and the same output
// in input order whatever the number of jobs; and the lines of the input in
// an encoding: byte-order marks, lines split on the encoding's own code
// units, and errors instead of replaced characters. (The output's encoding
// and the call's arguments: the program's test, cli_test.)
#include "batch.h"

#include <gtest/gtest.h>

#include <thread>

#include "encoding.h"
#include "host_support.h"
#include "shared_dir.h"

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
  BatchOptions options;
  options.json = true;
  // On a thread of its own, which has shown no connection failure box yet.
  BatchOutput out;
  std::thread([&] { out = RunBatch({"CreditAmount\t/nonexistent/x.mdb\t1", "FormatZip\t 12345 ", "Nope"}, options); })
      .join();
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
  EXPECT_EQ(one.failed, 11);  // the bad lines: every other line was called
  if (have_db) {
    EXPECT_NE(one.lines[0], one.lines[3]) << "two clients' credits, read from the file";
  }
}

TEST(Batch, EscapingKeepsEveryResultOnOneLine) {
  EXPECT_EQ(EscapeForLine("a\\b\tc\r\nd#"), "a\\\\b\\tc\\r\\nd#");
}

TEST(Encoding, KnownNames) {
  for (const char* name : {"windows-1252", "CP1252", "UTF-16LE"}) EXPECT_TRUE(KnownEncoding(name)) << name;
  // "//TRANSLIT" would replace what it cannot convert.
  for (const char* name : {"no-such-encoding", "", "ASCII//TRANSLIT"}) EXPECT_FALSE(KnownEncoding(name)) << name;
}

std::vector<std::string> Texts(const std::vector<DecodedLine>& lines) {
  std::vector<std::string> out;
  for (const DecodedLine& l : lines) out.push_back(l.error.empty() ? l.utf8 : "ERROR " + l.error);
  return out;
}

TEST(Encoding, LinesInEachEncoding) {
  using Lines = std::vector<std::string>;
  const struct {
    const char* name;
    std::string bytes;
    std::string encoding;
    Lines expected;
  } cases[] = {
      {"UTF-8", "a\r\n\xC3\xA9\n\nlast", "", {"a", "\xC3\xA9", "", "last"}},
      {"final line feed ends the last line", "a\nb\n", "", {"a", "b"}},
      {"empty input", "", "", {}},
      {"UTF-8 mark dropped", "\xEF\xBB\xBFx\n", "", {"x"}},
      {"UTF-8 mark decides over the option", "\xEF\xBB\xBF\xC3\xA9", "windows-1252", {"\xC3\xA9"}},
      // U+010A is 0A 01 in UTF-16LE: a line feed byte that is not a line feed.
      {"UTF-16LE split on code units", std::string("\xFF\xFE\x0A\x01\x0D\x00\x0A\x00" "b\x00", 10), "",
       {"\xC4\x8A", "b"}},
      {"UTF-16BE", std::string("\xFE\xFF\x00" "a\x00\x0A\x00\xE9", 8), "", {"a", "\xC3\xA9"}},
      {"UTF-16LE named, without mark", std::string("a\x00\x0A\x00", 4), "UTF-16LE", {"a"}},
      {"windows-1252", "Jos\xE9\r\n\x80", "windows-1252", {"Jos\xC3\xA9", "\xE2\x82\xAC"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Texts(DecodeLines(c.bytes, c.encoding)), c.expected) << c.name;
}

TEST(Encoding, InvalidLinesAreErrorsThatNameTheOption) {
  const struct {
    const char* name;
    std::string bytes;
    std::string encoding;
    std::string error;  // of the second line; the first is "ok"
  } cases[] = {
      {"code page read as UTF-8", "ok\nJos\xE9", "",
       "not valid UTF-8 (byte 0xE9 at byte 4 of the line); name its encoding with --encoding"},
      {"undefined in windows-1252", "ok\nx\x81", "windows-1252",
       "not valid windows-1252 (byte 0x81 at byte 2 of the line); check the name given to --encoding"},
      {"odd UTF-16 byte", std::string("\xFF\xFEo\x00k\x00\x0A\x00x", 9), "",
       "not valid UTF-16LE (byte 0x78 at byte 1 of the line), as its byte-order mark says"},
      {"lone surrogate", std::string("\xFF\xFEo\x00k\x00\x0A\x00\x00\xD8", 10), "", "not valid UTF-16LE (byte 0x00"},
  };
  for (const auto& c : cases) {
    const std::vector<DecodedLine> lines = DecodeLines(c.bytes, c.encoding);
    ASSERT_EQ(Texts(lines).size(), 2u) << c.name;
    EXPECT_EQ(Texts(lines)[0], "ok") << c.name;
    EXPECT_EQ(lines[1].error.rfind(c.error, 0), 0u) << c.name << ": " << lines[1].error;
  }
}

}  // namespace
}  // namespace qorvel::tool
