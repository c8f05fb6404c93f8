// qorvel batch: reads calls, one per line, and writes one result per line
// in the same order, spreading the lines over worker threads when asked.
#include "batch.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <thread>

#include "cli.h"
#include "error_summary.h"
#include "json.h"
#include "progress.h"

namespace qorvel::tool {
namespace {

// Workers take blocks of kBlock lines, except the first kFirstLines lines,
// which they take one at a time: the first calls of a batch load the tables
// they read, and a report's first lines call one lookup after another, so
// single lines let the workers load different tables side by side instead
// of waiting for each other's.
constexpr std::size_t kBlock = 64;
constexpr std::size_t kFirstLines = 64;

// The first line of block `block`.
std::size_t BlockStart(std::size_t block) {
  return block <= kFirstLines ? block : kFirstLines + (block - kFirstLines) * kBlock;
}

std::size_t BlockCount(std::size_t lines) {
  return lines <= kFirstLines ? lines : kFirstLines + (lines - kFirstLines + kBlock - 1) / kBlock;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

std::string ErrorLine(std::size_t number, const std::string& message, bool json) {
  if (json) {
    return "{\"line\": " + std::to_string(number) + ", \"error\": " + JsonString(message) + "}";
  }
  return "#error: line " + std::to_string(number) + ": " + message;
}

// The result line of input line `number` (1-based); `ok` tells whether the
// line was a valid call.
std::string RunLine(KX& kx, const std::string& line, std::size_t number, bool json, bool* ok) {
  std::vector<std::string> fields = SplitTabs(line);
  const std::string method = fields.front();
  if (method.empty()) {
    *ok = false;
    return ErrorLine(number, "no method: a line is METHOD<TAB>ARG<TAB>...", json);
  }
  fields.erase(fields.begin());
  const CallOutcome outcome = CallWithTexts(kx, method, fields, json);
  *ok = outcome.result.ok();
  if (!*ok) return ErrorLine(number, FailureMessage(outcome), json);
  if (json) return OutcomeJson(outcome);
  return EscapeForLine(ToUtf8(DisplayText(outcome.result.value)));
}

// The result of one input line, in the output encoding.
std::string RunInputLine(KX& kx, const DecodedLine& line, std::size_t number, const BatchOptions& options,
                         OutputEncoder& encoder, bool* ok) {
  std::string utf8;
  if (!line.error.empty()) {
    *ok = false;
    utf8 = ErrorLine(number, line.error, options.json);
  } else {
    utf8 = RunLine(kx, line.utf8, number, options.json, ok);
  }
  std::string encoded;
  if (encoder.Encode(utf8, &encoded)) return encoded;
  *ok = false;
  // The error line itself is ASCII, which every encoding offered here has.
  encoder.Encode(ErrorLine(number,
                           "the result has a character that " + options.output_encoding +
                               " cannot represent; choose another --output-encoding",
                           options.json),
                 &encoded);
  return encoded;
}

}  // namespace

std::string EscapeForLine(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  if (!utf8.empty() && utf8.front() == '#') out += '\\';
  for (const char c : utf8) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

BatchOutput RunBatch(const std::vector<std::string>& input, const BatchOptions& options,
                     std::ostream* stream_to) {
  std::vector<DecodedLine> lines;
  lines.reserve(input.size());
  for (const std::string& line : input) lines.push_back({line, {}});
  return RunDecodedBatch(lines, options, stream_to);
}

BatchOutput RunDecodedBatch(const std::vector<DecodedLine>& input, const BatchOptions& options,
                     std::ostream* stream_to) {
  BatchOutput output;
  output.lines.resize(input.size());
  Progress progress(options.progress, input.size(), "lines");
  const std::size_t jobs =
      std::max<std::size_t>(1, std::min<std::size_t>(static_cast<std::size_t>(options.jobs),
                                                      (input.size() + kBlock - 1) / kBlock));
  std::atomic<int> failed{0};
  const OutputEncoder encoding(options.output_encoding);
  if (stream_to) *stream_to << encoding.mark();
  auto write = [&](std::size_t i) { *stream_to << output.lines[i] << encoding.newline(); };

  if (jobs == 1) {
    KX kx;
    OutputEncoder encoder(options.output_encoding);
    ErrorCounter counter;
    for (std::size_t i = 0; i < input.size(); ++i) {
      bool ok = true;
      counter.BeginCall();
      output.lines[i] = RunInputLine(kx, input[i], i + 1, options, encoder, &ok);
      CountLine(counter, input[i]);
      if (!ok) ++failed;
      if (stream_to) write(i);
      progress.Update(i + 1);
    }
    output.errors.Merge(counter.counts());
  } else {
    // Workers take blocks of lines; the calling thread writes the lines in
    // input order as their blocks complete.
    std::atomic<std::size_t> next{0};
    std::vector<char> block_done(BlockCount(input.size()), 0);
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::thread> workers;
    for (std::size_t w = 0; w < jobs; ++w) {
      workers.emplace_back([&] {
        KX kx;  // one object, and this thread's own connection
        OutputEncoder encoder(options.output_encoding);  // and its own converter
        ErrorCounter counter;
        for (;;) {
          const std::size_t block = next.fetch_add(1);
          if (block >= block_done.size()) break;
          const std::size_t end = std::min(input.size(), BlockStart(block + 1));
          for (std::size_t i = BlockStart(block); i < end; ++i) {
            bool ok = true;
            counter.BeginCall();
            output.lines[i] = RunInputLine(kx, input[i], i + 1, options, encoder, &ok);
            CountLine(counter, input[i]);
            if (!ok) ++failed;
          }
          {
            const std::lock_guard<std::mutex> lock(mutex);
            block_done[block] = 1;
          }
          cv.notify_one();
        }
        const ErrorCounts counts = counter.counts();
        const std::lock_guard<std::mutex> lock(mutex);
        output.errors.Merge(counts);
      });
    }
    for (std::size_t block = 0; block < block_done.size(); ++block) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return block_done[block] != 0; });
      }
      const std::size_t end = std::min(input.size(), BlockStart(block + 1));
      if (stream_to) {
        for (std::size_t i = BlockStart(block); i < end; ++i) write(i);
      }
      progress.Update(end);
    }
    for (std::thread& t : workers) t.join();
  }
  progress.Update(input.size(), true);
  output.failed = failed.load();
  return output;
}

int BatchCommand(const std::vector<std::string>& words) {
  BatchOptions options;
  bool quiet = false;
  std::string encoding;
  Options reader("batch", OptionWords::kDash);
  reader.Flag("--json", &options.json).Flag("--quiet", &quiet).OneOperand("input file");
  EncodingOption(reader, "batch", "--encoding", &encoding);
  EncodingOption(reader, "batch", "--output-encoding", &options.output_encoding);
  reader.Valued("--jobs", "batch: --jobs needs a number, e.g. --jobs 2", [&](const std::string& value) {
    try {
      options.jobs = std::stoi(value);
    } catch (...) {
      options.jobs = 0;
    }
    if (options.jobs < 1 || options.jobs > 256) {
      return "batch: --jobs takes a number from 1 to 256, not \"" + value + "\"";
    }
    return std::string();
  });
  const Options::Parsed parsed = reader.Parse(words);
  if (!parsed.error.empty()) return Fail(parsed.error);
  const std::string file = parsed.operands.empty() ? "-" : parsed.operands.front();
  std::ios::sync_with_stdio(false);
  std::string bytes;
  if (file == "-") {
    bytes.assign(std::istreambuf_iterator<char>(std::cin), {});
  } else {
    std::ifstream in(file, std::ios::binary);
    if (!in) return Fail("batch: cannot read \"" + file + "\": no such file, or not readable");
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::vector<DecodedLine> lines = DecodeLines(bytes, encoding);
  // Progress only on a terminal, while the results go to a file.
  options.progress = !quiet && ShowProgress(false, lines.size(), 1000);
  const BatchOutput output = RunDecodedBatch(lines, options, &std::cout);
  std::cout.flush();
  if (const std::string summary = output.errors.Line(); !summary.empty()) std::cerr << summary << '\n';
  return output.failed ? kExitFailed : kExitOk;
}

}  // namespace qorvel::tool
