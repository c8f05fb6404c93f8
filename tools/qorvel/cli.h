// What the commands of the qorvel tool share: exit codes, error output, and
// the printing of a call's result.
#ifndef QORVEL_TOOLS_CLI_H_
#define QORVEL_TOOLS_CLI_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qorvel/qorvel.h"

namespace qorvel::jet {
class Database;
}  // namespace qorvel::jet

namespace qorvel::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the command ran, some of its work failed
inline constexpr int kExitUsage = 2;   // a usage error or a call the dispatch rejects

// The database at `path`, opened through the platform's connection exactly
// as the lookups open theirs (modmain::OpenDatabase), for the tool's own
// reading of a database through the engine.
class OpenedDatabase {
 public:
  // Raises AutomationError as the lookups' connection would.
  explicit OpenedDatabase(const std::string& path);
  ~OpenedDatabase();
  OpenedDatabase(const OpenedDatabase&) = delete;
  OpenedDatabase& operator=(const OpenedDatabase&) = delete;

  jet::Database& database() const { return *database_; }

 private:
  std::unique_ptr<Connection> connection_;
  jet::Database* database_;
};

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

// The value of the encoding option `option` of `command` after words[*i],
// which it steps over: an encoding that iconv knows. Nullopt, after saying
// why on standard error, when the name is missing or unknown.
std::optional<std::string> EncodingOption(const std::string& command, const std::string& option,
                                          const std::vector<std::string>& words, std::size_t* i);

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_CLI_H_
