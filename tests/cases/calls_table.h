// Reads calls.tsv, the table of call cases that the Linux tests (through
// qorvel::Invoke) and the Windows tests (through the COM server, late and
// early bound) share, so that the two builds cannot drift apart.
//
// The file is UTF-8, one case per line: locale, method, expected result,
// then the arguments in parameter order, separated by tabs. Lines starting
// with '#' and empty lines are skipped. In a field, \t, \r, \n and \\ stand
// for a tab, CR, LF and a backslash; an empty field is the empty text.
// Arguments are written as the report host would type them: texts as they
// are, Long and Integer as decimal numbers, Boolean as True or False (or
// any text the automation conversion reads, such as &H10 or #TRUE#); the
// reader converts them by the parameter's type. Results are texts (every
// method the table covers returns Text).
//
// Portable C++ without the library, so that the Windows test programs can
// use it as well.
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

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
inline std::u16string Utf16(const std::string& s) { return qorvel::FromUtf8(s); }

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
    call.expected = Utf16(fields[2]);
    for (std::size_t k = 3; k < fields.size(); ++k) call.args.push_back(Utf16(fields[k]));
    calls.push_back(std::move(call));
  }
  return calls;
}

}  // namespace qorvel::cases

#endif  // QORVEL_TESTS_CASES_CALLS_TABLE_H_
