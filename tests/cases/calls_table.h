// Reads calls.tsv, the table of call cases that the Linux tests (through
// qorvel::Invoke) and the Windows tests (through the COM server, late and
// early bound) share, so that the two builds cannot drift apart. The file's
// own header describes its columns; arguments are written as the report host
// would type them, and the reader's callers convert them by the parameter's
// type. Portable C++ without the library, so that the Windows test programs
// can use it as well.
#ifndef QORVEL_TESTS_CASES_CALLS_TABLE_H_
#define QORVEL_TESTS_CASES_CALLS_TABLE_H_

#include <fstream>
#include <string>
#include <vector>

#include "qorvel/types.h"
#include "support/split_tabs.h"

namespace qorvel::cases {

struct Call {
  int line = 0;
  std::string locale;  // "en-US"
  std::string method;  // "FormatZip"
  std::u16string expected;
  std::vector<std::u16string> args;
};

inline std::string Unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 1 < field.size()) {
      const char e = field[++i];
      out.push_back(e == 't' ? '\t' : e == 'r' ? '\r' : e == 'n' ? '\n' : e);
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

// The cases of the file, in file order; `error` says what went wrong when
// the file cannot be read or a line has fewer than three fields.
inline std::vector<Call> ReadCalls(const std::string& path, std::string& error) {
  std::vector<Call> calls;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return calls;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields = qorvel::testing::SplitTabs(line);
    for (std::string& field : fields) field = Unescape(field);
    if (fields.size() < 3) {
      error = path + ":" + std::to_string(number) + ": fewer than three fields";
      return {};
    }
    Call call;
    call.line = number;
    call.locale = fields[0];
    call.method = fields[1];
    call.expected = qorvel::FromUtf8(fields[2]);
    for (std::size_t k = 3; k < fields.size(); ++k) call.args.push_back(qorvel::FromUtf8(fields[k]));
    calls.push_back(std::move(call));
  }
  return calls;
}

}  // namespace qorvel::cases

#endif  // QORVEL_TESTS_CASES_CALLS_TABLE_H_
