// The words of one command of the tool: its flags (--json), its valued
// options (--format csv) and its operands, read in order, with the usage
// error for the first word that does not fit. Every command with options
// declares them here, so that each reads its words the same way.
#ifndef QORVEL_TOOLS_OPTIONS_H_
#define QORVEL_TOOLS_OPTIONS_H_

#include <functional>
#include <string>
#include <vector>

namespace qorvel::tool {

// Which words that are not a declared option are unknown options; the
// others are operands.
enum class OptionWords {
  kDoubleDash,  // those that begin with "--"
  kDash,        // those that begin with "-", but not "-" alone (standard input)
  kAnyDash,     // those that begin with "-", "-" alone too
};

class Options {
 public:
  // Takes a valued option's value: stores it and returns "", or returns
  // the usage error for a value the option does not take.
  using Reader = std::function<std::string(const std::string& value)>;

  // The options of `command` ("sql"), which the usage errors name; an empty
  // `command` stands for the tool's global options, before the command.
  explicit Options(std::string command, OptionWords words = OptionWords::kDoubleDash);

  // An option without a value; it sets `*set`. Precondition: `set` outlives
  // the Options.
  Options& Flag(std::string name, bool* set);
  // A flag after which no word is read (--help, --version).
  Options& FinalFlag(std::string name, bool* set);
  // An option whose value is the next word, whatever it is; `missing` is
  // the usage error when there is none.
  Options& Valued(std::string name, std::string missing, Reader read);
  // Options stand only before the first operand: it and every word after
  // it are operands.
  Options& OptionsFirst();
  // At most one operand, which `noun` names in the error for a second one
  // ("database").
  Options& OneOperand(std::string noun);

  struct Parsed {
    std::vector<std::string> operands;
    std::string error;  // the usage error; empty when every word was read
  };
  // Reads `words` in order, up to the first usage error.
  Parsed Parse(const std::vector<std::string>& words) const;

 private:
  enum class Kind { kFlag, kFinalFlag, kValued };
  struct Option {
    std::string name;
    Kind kind;
    bool* set;
    std::string missing;
    Reader read;
  };

  bool IsOptionWord(const std::string& word) const;

  std::string command_;
  OptionWords words_;
  std::vector<Option> options_;
  bool options_first_ = false;
  std::string operand_noun_;  // empty: any number of operands
};

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_OPTIONS_H_
