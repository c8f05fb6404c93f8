// Exact readers of decimal, money, ISO date and GUID text.
#include <gtest/gtest.h>

#include "jet/values.h"

namespace qorvel::jet {
namespace {

TEST(ParseDecimalTest, ReadsExactDecimals) {
  struct Case {
    const char* text;
    const char* expected;  // Decimal::ToString, or nullptr for no number
    int scale;
  };
  const Case cases[] = {
      {"0", "0", 0},
      {"-12.3400", "-12.34", 4},
      {" +5 ", "5", 0},
      {".5", "0.5", 1},
      {"5.", "5", 0},
      {"-0.000", "0", 3},
      {"79228162514264337593543950335", "79228162514264337593543950335", 0},  // 2^96 - 1
      {"79228162514264337593543950336", nullptr, 0},                          // 2^96
      {"0.0000000000000000000000000001", "0.0000000000000000000000000001", 28},
      {"0.00000000000000000000000000001", nullptr, 0},  // 29 decimals
      {"1e5", nullptr, 0},
      {"1,5", nullptr, 0},
      {"", nullptr, 0},
      {"-", nullptr, 0},
      {".", nullptr, 0},
      {"1.2.3", nullptr, 0},
  };
  for (const Case& c : cases) {
    const auto value = ParseDecimal(c.text);
    if (c.expected == nullptr) {
      EXPECT_FALSE(value) << c.text;
      continue;
    }
    ASSERT_TRUE(value) << c.text;
    EXPECT_EQ(value->ToString(), c.expected) << c.text;
    EXPECT_EQ(value->scale, c.scale) << c.text;
  }
}

TEST(ParseMoneyTest, ReadsTenThousandthsExactly) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> raw;
  };
  const Case cases[] = {
      {"10", 100000},
      {"-20.00", -200000},
      {"250.5", 2505000},
      {"0.0001", 1},
      {"12.34565", 123456},   // half to even: down
      {"12.34575", 123458},   // half to even: up
      {"12.345651", 123457},  // above half
      {"-0.00005", 0},
      {"922337203685477.5807", INT64_MAX},
      {"-922337203685477.5808", INT64_MIN},
      {"922337203685477.5808", std::nullopt},
      {"922337203685477.58075", std::nullopt},  // rounds beyond the range
      {"-922337203685477.58085", INT64_MIN},  // half to even keeps ...5808
      {"-922337203685477.58086", std::nullopt},
      {"1e3", std::nullopt},
      {"", std::nullopt},
      {"$5", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseMoney(c.text), c.raw) << c.text;
}

TEST(ParseIsoDateTimeTest, ReadsDatesAndTimes) {
  struct Case {
    const char* text;
    std::optional<DateTime> value;
  };
  const Case cases[] = {
      {"2011-03-31", DateTime::FromParts(2011, 3, 31)},
      {"2011-03-31 23:00", DateTime::FromParts(2011, 3, 31, 23, 0, 0)},
      {"2011-03-31T23:00:59", DateTime::FromParts(2011, 3, 31, 23, 0, 59)},
      {"2011-03-31 23:00:59.250", DateTime::FromParts(2011, 3, 31, 23, 0, 59)},
      {"0100-01-01", DateTime::FromParts(100, 1, 1)},
      {"9999-12-31 23:59:59", DateTime::FromParts(9999, 12, 31, 23, 59, 59)},
      {"1899-12-29 06:00:00", DateTime(-1.25)},
      {"2011-02-29", std::nullopt},
      {"2011-3-31", std::nullopt},
      {"03/31/2011", std::nullopt},
      {"2011-03-31 24:00", std::nullopt},
      {"2011-03-31x", std::nullopt},
      {"2011-03-31 23:00:", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseIsoDateTime(std::string_view(c.text)), c.value) << c.text;
  }
  EXPECT_EQ(ParseIsoDateTime(TextView(u"2011-03-31")), DateTime::FromParts(2011, 3, 31));
  EXPECT_EQ(ParseIsoDateTime(TextView(u"２011-03-31")), std::nullopt);
}

TEST(NormalizeGuidTest, WritesBracedUpperCase) {
  const std::string canonical = "{A0000001-0000-4000-8000-000000000417}";
  for (const char* text : {"{a0000001-0000-4000-8000-000000000417}", "A0000001-0000-4000-8000-000000000417",
                           "a0000001000040008000000000000417", " {A0000001-0000-4000-8000-000000000417} "}) {
    EXPECT_EQ(NormalizeGuid(text), canonical) << text;
  }
  for (const char* text : {"{A0000001-0000-4000-8000000000000417}", "A0000001-0000-4000-8000-00000000041",
                           "G0000001-0000-4000-8000-000000000417", "", "{}"}) {
    EXPECT_EQ(NormalizeGuid(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace qorvel::jet
