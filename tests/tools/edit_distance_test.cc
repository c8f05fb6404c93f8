// The distance that ranks method names for "did you mean": each kind of
// edit costs one, letter case none, and the order of the names does not
// matter.
#include "edit_distance.h"

#include <gtest/gtest.h>

namespace qorvel::tool {
namespace {

TEST(EditDistance, CountsEditsIgnoringCase) {
  const struct {
    const char* a;
    const char* b;
    std::size_t distance;
  } cases[] = {
      {"", "", 0},
      {"", "Zip", 3},                    // insertions only
      {"formatzip", "FormatZip", 0},     // case is free
      {"FormatZipp", "FormatZip", 1},    // a deletion
      {"FormatZop", "FormatZip", 1},     // a substitution
      {"FormatZpi", "FormatZip", 2},     // a swap is two edits
      {"creditamt", "CreditAmount", 3},  // "oun" inserted
      {"kitten", "sitting", 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EditDistance(c.a, c.b), c.distance) << c.a << " / " << c.b;
    EXPECT_EQ(EditDistance(c.b, c.a), c.distance) << c.b << " / " << c.a;
  }
}

}  // namespace
}  // namespace qorvel::tool
