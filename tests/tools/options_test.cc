// One command's words read against its options: flags and valued options
// anywhere or only before the first operand, the three rules for which
// words are options, a final flag, and each usage error the commands print.
#include "options.h"

#include <gtest/gtest.h>

namespace qorvel::tool {
namespace {

TEST(Options, WordsAndUsageErrors) {
  const struct {
    const char* command;
    OptionWords words;
    bool first;  // options only before the first operand; else one operand at most
    std::vector<std::string> args;
    std::vector<std::string> operands;
    std::string error;
    std::string read;  // the flag and the value read: "all", "html", "all html"
  } cases[] = {
      {"x", OptionWords::kAnyDash, false, {"db", "--format", "html", "--all"}, {"db"}, "", "all html"},
      {"x", OptionWords::kAnyDash, false, {"--format", "--all"}, {}, "x: --format is text or html", ""},
      {"x", OptionWords::kAnyDash, false, {"--format"}, {}, "x: --format needs a value", ""},
      {"x", OptionWords::kAnyDash, false, {"a", "b"}, {"a"}, "x: one database only; \"b\" is a second one", ""},
      {"x", OptionWords::kAnyDash, false, {"-"}, {}, "x: unknown option - (see qorvel x --help)", ""},
      {"x", OptionWords::kDash, false, {"-"}, {"-"}, "", ""},
      {"x", OptionWords::kDash, false, {"-q"}, {}, "x: unknown option -q (see qorvel x --help)", ""},
      {"x", OptionWords::kDoubleDash, false, {"-q"}, {"-q"}, "", ""},
      {"x", OptionWords::kDoubleDash, true, {"--all", "M", "--all", "--bogus"}, {"M", "--all", "--bogus"}, "", "all"},
      {"", OptionWords::kDoubleDash, true, {"--help", "--bogus"}, {}, "", "help"},
      {"", OptionWords::kDoubleDash, true, {"--bogus", "--help"}, {},
       "unknown option --bogus (qorvel --help lists the options)", ""},
  };
  for (const auto& c : cases) {
    bool all = false;
    bool help = false;
    std::string format;
    Options options(c.command, c.words);
    options.Flag("--all", &all).FinalFlag("--help", &help);
    options.Valued("--format", "x: --format needs a value", [&](const std::string& value) {
      if (value != "text" && value != "html") return std::string("x: --format is text or html");
      format = value;
      return std::string();
    });
    if (c.first) {
      options.OptionsFirst();
    } else {
      options.OneOperand("database");
    }
    const Options::Parsed parsed = options.Parse(c.args);
    const std::string words = ::testing::PrintToString(c.args);
    EXPECT_EQ(parsed.operands, c.operands) << words;
    EXPECT_EQ(parsed.error, c.error) << words;
    std::string read = std::string(all ? " all" : "") + (help ? " help" : "") + (format.empty() ? "" : " " + format);
    EXPECT_EQ(read.empty() ? read : read.substr(1), c.read) << words;
  }
}

}  // namespace
}  // namespace qorvel::tool
