// Helpers of the locale tests: a conversion's outcome written as the
// recorded vectors write it.
#ifndef QORVEL_TESTS_LOCALE_TEST_SUPPORT_H_
#define QORVEL_TESTS_LOCALE_TEST_SUPPORT_H_

#include <cstdio>
#include <functional>
#include <string>

#include "qorvel/automation_error.h"

namespace qorvel::testing {

// The result of `conversion`, or its error as "ERR:0x80020005" (13, type
// mismatch) or "ERR:0x8002000A" (6, overflow).
inline std::string Outcome(const std::function<std::string()>& conversion) {
  try {
    return conversion();
  } catch (const AutomationError& e) {
    if (e.number() == kErrTypeMismatch) return "ERR:0x80020005";
    if (e.number() == kErrOverflow) return "ERR:0x8002000A";
    return "ERR:" + std::to_string(e.number());
  }
}

// "%.17g": the shortest text that reads back as the same double.
inline std::string Double17(double value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", value);
  return buf;
}

}  // namespace qorvel::testing

#endif  // QORVEL_TESTS_LOCALE_TEST_SUPPORT_H_
