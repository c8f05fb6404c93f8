// qorvel batch: many calls, one per line, for report generators.
#ifndef QORVEL_TOOLS_BATCH_H_
#define QORVEL_TOOLS_BATCH_H_

#include <iosfwd>
#include <string>
#include <vector>

namespace qorvel::tool {

struct BatchOptions {
  bool json = false;
  int jobs = 1;
  bool progress = false;  // show progress on standard error
};

// One result line per input line, in input order.
struct BatchOutput {
  std::vector<std::string> lines;
  int failed = 0;  // lines that were not valid calls
};

// The text of one result in plain output: backslash, CR, LF and tab written
// as \\, \r, \n and \t, and a leading '#' as \#, so that every result is one
// line and never looks like an error line.
std::string EscapeForLine(const std::string& utf8);

// Runs the calls of `input` (tab-separated: method, then arguments) and
// returns the result lines. Each job has its own KX object and, being its
// own thread, its own database connection.
BatchOutput RunBatch(const std::vector<std::string>& input, const BatchOptions& options,
                     std::ostream* stream_to = nullptr);

// The command: qorvel batch [FILE|-] [--json] [--jobs N] [--quiet].
int BatchCommand(const std::vector<std::string>& words);

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_BATCH_H_
