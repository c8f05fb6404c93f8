// Reading a command's words against its declared options (see options.h).
#include "options.h"

#include <algorithm>
#include <utility>

namespace qorvel::tool {

Options::Options(std::string command, OptionWords words) : command_(std::move(command)), words_(words) {}

Options& Options::Flag(std::string name, bool* set) {
  options_.push_back({std::move(name), Kind::kFlag, set, {}, {}});
  return *this;
}

Options& Options::FinalFlag(std::string name, bool* set) {
  options_.push_back({std::move(name), Kind::kFinalFlag, set, {}, {}});
  return *this;
}

Options& Options::Valued(std::string name, std::string missing, Reader read) {
  options_.push_back({std::move(name), Kind::kValued, nullptr, std::move(missing), std::move(read)});
  return *this;
}

Options& Options::OptionsFirst() {
  options_first_ = true;
  return *this;
}

Options& Options::OneOperand(std::string noun) {
  operand_noun_ = std::move(noun);
  return *this;
}

bool Options::IsOptionWord(const std::string& word) const {
  switch (words_) {
    case OptionWords::kDoubleDash: return word.rfind("--", 0) == 0;
    case OptionWords::kDash: return word.size() > 1 && word[0] == '-';
    case OptionWords::kAnyDash: return word.rfind("-", 0) == 0;
  }
  return false;
}

Options::Parsed Options::Parse(const std::vector<std::string>& words) const {
  Parsed parsed;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    const auto option = std::find_if(options_.begin(), options_.end(), [&](const Option& o) { return o.name == word; });
    if (option == options_.end()) {
      if (IsOptionWord(word)) {
        parsed.error = command_.empty() ? "unknown option " + word + " (qorvel --help lists the options)"
                                        : command_ + ": unknown option " + word + " (see qorvel " + command_ +
                                              " --help)";
        return parsed;
      }
      if (options_first_) {
        parsed.operands.assign(words.begin() + static_cast<std::ptrdiff_t>(i), words.end());
        return parsed;
      }
      if (!operand_noun_.empty() && !parsed.operands.empty()) {
        parsed.error = command_ + ": one " + operand_noun_ + " only; \"" + word + "\" is a second one";
        return parsed;
      }
      parsed.operands.push_back(word);
      continue;
    }
    switch (option->kind) {
      case Kind::kFlag:
        *option->set = true;
        break;
      case Kind::kFinalFlag:
        *option->set = true;
        return parsed;
      case Kind::kValued:
        if (i + 1 >= words.size()) {
          parsed.error = option->missing;
          return parsed;
        }
        parsed.error = option->read(words[++i]);
        if (!parsed.error.empty()) return parsed;
        break;
    }
  }
  return parsed;
}

}  // namespace qorvel::tool
