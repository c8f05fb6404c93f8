// Splitting a line of a tab-separated test file into its fields. Standard
// C++ only, so that every test program and test double can include it.
#ifndef QORVEL_TESTS_SUPPORT_SPLIT_TABS_H_
#define QORVEL_TESTS_SUPPORT_SPLIT_TABS_H_

#include <string>
#include <string_view>
#include <vector>

namespace qorvel::testing {

// The fields of `line`: one more than it has tabs (or `separator`s; an
// empty line is one empty field).
inline std::vector<std::string> SplitTabs(std::string_view line, char separator = '\t') {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == separator) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

}  // namespace qorvel::testing

#endif  // QORVEL_TESTS_SUPPORT_SPLIT_TABS_H_
