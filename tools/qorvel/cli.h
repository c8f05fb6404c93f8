// What the commands of the qorvel tool share: exit codes, error output, and
// the printing of a call's result.
#ifndef QORVEL_TOOLS_CLI_H_
#define QORVEL_TOOLS_CLI_H_

#include <string>
#include <vector>

#include "options.h"
#include "qorvel/qorvel.h"

namespace qorvel::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the command ran, some of its work failed
inline constexpr int kExitUsage = 2;   // a usage error or a call the dispatch rejects

// Writes "qorvel: MESSAGE" to standard error and returns kExitUsage.
int Fail(const std::string& message);

// One late-bound call of a method with text arguments, as a line of a batch
// or the words of `qorvel call` give it.
struct CallOutcome {
  std::string method;            // as the caller spelled it
  std::vector<Variant> args;     // after the call
  InvokeResult result;
  std::vector<MessageBoxCapture::Box> boxes;  // shown during the call, when captured
};

// Calls `method` on `kx` with the texts as arguments. When `capture_boxes`,
// the boxes the call shows on this thread are collected into the outcome
// instead of being shown.
CallOutcome CallWithTexts(KX& kx, const std::string& method, const std::vector<std::string>& texts,
                          bool capture_boxes);

// The dispatch failure as a message for people: the method at fault, the
// closest names for an unknown one, the signature for a wrong count.
std::string FailureMessage(const CallOutcome& outcome);

// {"method": ..., "result": {"type": ..., "value": ...}, "args": [...], "boxes": [...]}
std::string OutcomeJson(const CallOutcome& outcome);

// Declares the encoding option `option` ("--encoding") of `command`, whose
// value, the name of an encoding that iconv knows, goes to `*name`.
// Precondition: `name` outlives `options`.
void EncodingOption(Options& options, const std::string& command, const std::string& option, std::string* name);

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_CLI_H_
