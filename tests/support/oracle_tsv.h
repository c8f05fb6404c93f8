// Reading the recorded conversion vectors (oracle.tsv): one row per line
// after the header, four tab-separated fields (locale, function, input,
// output), and the escapes of its text fields. Header-only and free of
// GoogleTest, so that the Linux tests and the Windows test programs (built
// with mingw-w64) both read the file through it.
#ifndef QORVEL_TESTS_SUPPORT_ORACLE_TSV_H_
#define QORVEL_TESTS_SUPPORT_ORACLE_TSV_H_

#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "qorvel/types.h"
#include "support/split_tabs.h"

namespace qorvel::testing {

struct OracleRow {
  int line = 0;  // in the file, for messages
  std::string locale;
  std::string function;
  std::string input;
  std::string output;
};

// The rows after the header line of the file at `path` (a line's final
// carriage return dropped; a row with fewer fields has empty ones). A file
// that cannot be read gives no rows.
inline std::vector<OracleRow> ReadOracle(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<OracleRow> rows;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1 || line.empty()) continue;  // header
    std::vector<std::string> fields = SplitTabs(line);
    fields.resize(4);
    rows.push_back({number, fields[0], fields[1], fields[2], fields[3]});
  }
  return rows;
}

// A field with the file's escapes undone (a doubled backslash is one
// backslash, backslash-u and four hex digits one UTF-16 code unit) and its
// surrounding double quotes removed. Precondition: the field is UTF-8.
inline Text Unescape(std::string_view field) {
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"') field = field.substr(1, field.size() - 2);
  Text out;
  std::string plain;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 1 < field.size() && field[i + 1] == '\\') {
      plain += '\\';
      ++i;
    } else if (field[i] == '\\' && i + 5 < field.size() && field[i + 1] == 'u') {
      out += FromUtf8(plain);
      plain.clear();
      out += static_cast<char16_t>(std::stoul(std::string(field.substr(i + 2, 4)), nullptr, 16));
      i += 5;
    } else {
      plain += field[i];
    }
  }
  return out + FromUtf8(plain);
}

}  // namespace qorvel::testing

#endif  // QORVEL_TESTS_SUPPORT_ORACLE_TSV_H_
