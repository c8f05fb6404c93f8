// The distance that ranks method names for "did you mean": each edit costs
// one, letter case nothing, and it is the same both ways.
#include "edit_distance.h"

#include <gtest/gtest.h>

namespace qorvel::tool {
namespace {

TEST(EditDistance, CountsEditsIgnoringCase) {
  const struct {
    const char* a;
    const char* b;
    std::size_t distance;
  } cases[] = {{"", "Zip", 3}, {"formatzip", "FormatZip", 0}, {"FormatZop", "FormatZip", 1},
               {"FormatZpi", "FormatZip", 2}, {"creditamt", "CreditAmount", 3}};
  for (const auto& c : cases) {
    EXPECT_EQ(EditDistance(c.a, c.b), c.distance) << c.a << " / " << c.b;
    EXPECT_EQ(EditDistance(c.b, c.a), c.distance) << c.b << " / " << c.a;
  }
}

}  // namespace
}  // namespace qorvel::tool
