// qorvel call: one late-bound call with text arguments.
#include <iostream>

#include "cli.h"
#include "commands.h"

namespace qorvel::tool {

int CallCommand(const std::vector<std::string>& words) {
  bool json = false;
  std::size_t i = 0;
  for (; i < words.size() && words[i].rfind("--", 0) == 0; ++i) {
    if (words[i] != "--json") return Fail("call: unknown option " + words[i] + " (see qorvel call --help)");
    json = true;
  }
  if (i >= words.size()) return Fail("call: which method? (qorvel methods lists them)");
  const std::string method = words[i];
  const std::vector<std::string> texts(words.begin() + static_cast<std::ptrdiff_t>(i) + 1, words.end());
  KX kx;
  const CallOutcome outcome = CallWithTexts(kx, method, texts, json);
  if (!outcome.result.ok()) return Fail(FailureMessage(outcome));
  std::cout << (json ? OutcomeJson(outcome) : ToUtf8(DisplayText(outcome.result.value))) << "\n";
  return kExitOk;
}

}  // namespace qorvel::tool
