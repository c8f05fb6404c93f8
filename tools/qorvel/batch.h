// qorvel batch: many calls, one per line, for report generators.
#ifndef QORVEL_TOOLS_BATCH_H_
#define QORVEL_TOOLS_BATCH_H_

#include <iosfwd>
#include <string>
#include <vector>

#include "encoding.h"
#include "error_summary.h"

namespace qorvel::tool {

struct BatchOptions {
  bool json = false;
  int jobs = 1;
  bool progress = false;  // show progress on standard error
  // The encoding of the result lines (iconv's name); UTF-8 when empty.
  // Precondition: empty or KnownEncoding.
  std::string output_encoding;
};

// One result line per input line, in input order.
struct BatchOutput {
  std::vector<std::string> lines;
  int failed = 0;  // lines that were not valid calls
  ErrorSummary errors;  // calls that ended in an error result, boxes shown
};

// The text of one result in plain output: backslash, CR, LF and tab written
// as \\, \r, \n and \t, and a leading '#' as \#, so that every result is one
// line and never looks like an error line.
std::string EscapeForLine(const std::string& utf8);

// Runs the calls of `input` (tab-separated: method, then arguments) and
// returns the result lines, in the output encoding and without their line
// ends; a line that could not be decoded gives an error line with its
// error, and so does a result the output encoding cannot represent. Each
// job has its own KX object and, being its own thread, its own database
// connection. When `stream_to` is given, the lines are written to it as
// they complete, in order, each with the encoding's line feed (after the
// encoding's byte-order mark, when it has one).
BatchOutput RunDecodedBatch(const std::vector<DecodedLine>& input, const BatchOptions& options,
                     std::ostream* stream_to = nullptr);
// RunDecodedBatch for lines already in UTF-8.
BatchOutput RunBatch(const std::vector<std::string>& input, const BatchOptions& options,
                     std::ostream* stream_to = nullptr);

// The command: qorvel batch [FILE|-] [--json] [--jobs N] [--quiet]
// [--encoding NAME] [--output-encoding NAME].
int BatchCommand(const std::vector<std::string>& words);

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_BATCH_H_
