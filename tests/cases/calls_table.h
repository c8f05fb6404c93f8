// Reads calls.tsv, the table of call cases that the Linux tests (through
// qorvel::Invoke) and the Windows tests (through the COM server, late
// bound) share, so that the two builds cannot drift apart. The file's
// own header describes its columns; arguments are written as the report host
// would type them, and the reader's callers convert them by the parameter's
// type. Portable C++ without the library, so that the Windows test programs
// can use it as well.
//
// A lookup's row names its database by a placeholder ("$billing"), which
// each consumer replaces with the paths of the databases the row runs on
// (OnDatabases): the same row, the same expected result, on each.
#ifndef QORVEL_TESTS_CASES_CALLS_TABLE_H_
#define QORVEL_TESTS_CASES_CALLS_TABLE_H_

#include <fstream>
#include <map>
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
  std::u16string database;  // the path that stands for its placeholder, if it has one
};

// The paths each placeholder stands for on the consumer's system ("$billing"
// : the fixture billing.mdb and a SQLite file with its rows); no paths where
// the consumer has not got the database.
using Databases = std::map<std::u16string, std::vector<std::u16string>>;

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

// `calls` with each row that has a placeholder argument (a '$' and a
// lowercase name) once for every path its placeholder stands for, the
// argument replaced by the path: first the rows without a placeholder, then
// each database's rows together, in file order (so that a connection moves
// between files only between databases). Rows whose placeholder stands for
// nothing are left out; `error` names a placeholder that `databases` does
// not know.
inline std::vector<Call> OnDatabases(const std::vector<Call>& calls, const Databases& databases, std::string& error) {
  std::vector<Call> out;
  // By placeholder: each row with the index of its placeholder argument.
  std::map<std::u16string, std::vector<std::pair<const Call*, std::size_t>>> placed;
  for (const Call& call : calls) {
    std::size_t at = 0;
    while (at < call.args.size() && !(call.args[at].size() > 1 && call.args[at][0] == u'$' &&
                                       call.args[at][1] >= u'a' && call.args[at][1] <= u'z')) {
      ++at;
    }
    if (at == call.args.size()) {
      out.push_back(call);
    } else if (databases.count(call.args[at]) == 0) {
      error = "line " + std::to_string(call.line) + ": no database stands for " + qorvel::ToUtf8(call.args[at]);
      return {};
    } else {
      placed[call.args[at]].emplace_back(&call, at);
    }
  }
  for (const auto& [placeholder, paths] : databases) {
    for (const std::u16string& path : paths) {
      for (const auto& [call, at] : placed[placeholder]) {
        out.push_back(*call);
        out.back().args[at] = out.back().database = path;
      }
    }
  }
  return out;
}

}  // namespace qorvel::cases

#endif  // QORVEL_TESTS_CASES_CALLS_TABLE_H_
