// qorvel call: one late-bound call with text arguments.
#include <iostream>

#include "cli.h"
#include "commands.h"
#include "encoding.h"

namespace qorvel::tool {

int CallCommand(const std::vector<std::string>& words) {
  bool json = false;
  std::string encoding;
  std::string output_encoding;
  std::size_t i = 0;
  for (; i < words.size() && words[i].rfind("--", 0) == 0; ++i) {
    const std::string& w = words[i];
    if (w == "--json") {
      json = true;
    } else if (w == "--encoding" || w == "--output-encoding") {
      const std::optional<std::string> name = EncodingOption("call", w, words, &i);
      if (!name) return kExitUsage;
      (w == "--encoding" ? encoding : output_encoding) = *name;
    } else {
      return Fail("call: unknown option " + w + " (see qorvel call --help)");
    }
  }
  if (i >= words.size()) return Fail("call: which method? (qorvel methods lists them)");
  // The method and the arguments, from the encoding of the terminal or script.
  std::vector<std::string> texts;
  for (std::size_t k = i; k < words.size(); ++k) {
    std::string utf8, error;
    if (!DecodeText(words[k], encoding, &utf8, &error)) {
      return Fail("call: " + (k == i ? std::string("the method name") : "argument " + std::to_string(k - i)) +
                  " is " + error);
    }
    texts.push_back(std::move(utf8));
  }
  const std::string method = texts.front();
  texts.erase(texts.begin());
  KX kx;
  const CallOutcome outcome = CallWithTexts(kx, method, texts, json);
  if (!outcome.result.ok()) return Fail(FailureMessage(outcome));
  OutputEncoder encoder(output_encoding);
  std::string out;
  if (!encoder.Encode(json ? OutcomeJson(outcome) : ToUtf8(DisplayText(outcome.result.value)), &out)) {
    Fail("call: the result has a character that " + output_encoding +
         " cannot represent; choose another --output-encoding");
    return kExitFailed;
  }
  std::cout << encoder.mark() << out << encoder.newline();
  return kExitOk;
}

}  // namespace qorvel::tool
