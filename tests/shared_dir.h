// Where the shared test data lives, and a skip for tests that need it.
#ifndef QORVEL_TESTS_SHARED_DIR_H_
#define QORVEL_TESTS_SHARED_DIR_H_

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace qorvel::testing {

// The path of a file or folder under the shared test data folder.
inline std::filesystem::path SharedPath(const std::string& relative) {
  return std::filesystem::path(QORVEL_SHARED_DIR) / relative;
}

}  // namespace qorvel::testing

// Skips the current test, naming the path, when the shared file is absent.
#define QORVEL_REQUIRE_SHARED(relative)                                              \
  do {                                                                               \
    if (!std::filesystem::exists(::qorvel::testing::SharedPath(relative))) {         \
      GTEST_SKIP() << "shared test data not found: "                                 \
                   << ::qorvel::testing::SharedPath(relative).string();              \
    }                                                                                \
  } while (0)

#endif  // QORVEL_TESTS_SHARED_DIR_H_
