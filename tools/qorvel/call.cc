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
  Options options("call");
  options.OptionsFirst().Flag("--json", &json);
  EncodingOption(options, "call", "--encoding", &encoding);
  EncodingOption(options, "call", "--output-encoding", &output_encoding);
  const Options::Parsed parsed = options.Parse(words);
  if (!parsed.error.empty()) return Fail(parsed.error);
  const std::vector<std::string>& operands = parsed.operands;
  if (operands.empty()) return Fail("call: which method? (qorvel methods lists them)");
  // The method and the arguments, from the encoding of the terminal or script.
  std::vector<std::string> texts;
  for (std::size_t k = 0; k < operands.size(); ++k) {
    std::string utf8, error;
    if (!DecodeText(operands[k], encoding, &utf8, &error)) {
      return Fail("call: " + (k == 0 ? std::string("the method name") : "argument " + std::to_string(k)) + " is " +
                  error);
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
