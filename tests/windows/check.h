// A minimal check harness for the Windows test programs (no test framework
// is packaged for mingw-w64): named groups of table-driven cases, a failure
// count, and the exit status CTest reads (0 all passed, 1 a failure).
// Messages go to standard output, one line per failed check.
#ifndef QORVEL_TESTS_WINDOWS_CHECK_H_
#define QORVEL_TESTS_WINDOWS_CHECK_H_

#include <cstdio>
#include <optional>
#include <string>
#include <type_traits>

#include "qorvel/currency.h"
#include "qorvel/types.h"

namespace qorvel::wintest {

struct Totals {
  int checks = 0;
  int failures = 0;
  int skipped_groups = 0;
  std::string group;
};

inline Totals& Current() {
  static Totals totals;
  return totals;
}

// Starts a named group of checks; failures name their group.
inline void Group(const std::string& name) {
  Current().group = name;
  std::printf("-- %s\n", name.c_str());
  std::fflush(stdout);
}

// Skips the rest of a group, saying why (for example missing shared data).
inline void Skip(const std::string& why) {
  ++Current().skipped_groups;
  std::printf("   SKIPPED: %s\n", why.c_str());
}

inline std::string Show(const std::string& s) { return "\"" + s + "\""; }
inline std::string Show(const char* s) { return Show(std::string(s)); }
inline std::string Show(const Text& s) { return Show(ToUtf8(s)); }
inline std::string Show(const char16_t* s) { return Show(Text(s)); }
inline std::string Show(const Currency& c) { return c.ToFixedString(); }
inline std::string Show(bool b) { return b ? "true" : "false"; }
template <typename T>
std::enable_if_t<std::is_arithmetic_v<T>, std::string> Show(T value) {
  return std::to_string(value);
}
template <typename T>
std::string Show(const std::optional<T>& value) {
  return value ? Show(*value) : std::string("(none)");
}

// Records one check; `what` says which case it was.
inline bool Check(bool ok, const std::string& what, const std::string& detail = {}) {
  ++Current().checks;
  if (!ok) {
    ++Current().failures;
    std::printf("FAIL [%s] %s%s%s\n", Current().group.c_str(), what.c_str(), detail.empty() ? "" : ": ",
                detail.c_str());
    std::fflush(stdout);
  }
  return ok;
}

template <typename A, typename E>
bool CheckEq(const A& actual, const E& expected, const std::string& what) {
  return Check(actual == expected, what, "got " + Show(actual) + ", expected " + Show(expected));
}

// Prints the totals and gives the exit status.
inline int Finish() {
  const Totals& t = Current();
  std::printf("%d checks, %d failed, %d groups skipped\n", t.checks, t.failures, t.skipped_groups);
  return t.failures == 0 ? 0 : 1;
}

}  // namespace qorvel::wintest

#endif  // QORVEL_TESTS_WINDOWS_CHECK_H_
