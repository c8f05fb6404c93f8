// Exact readers of decimal, money, ISO date and GUID text, and of the
// stored form of extended date/time values.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "jet/values.h"

namespace qorvel::jet {
namespace {

TEST(ParseDecimalTest, ReadsExactDecimals) {
  const struct {
    const char* text;
    const char* expected;  // Decimal::ToString, or nullptr for no number
    int scale;
  } cases[] = {
      {"0", "0", 0},        {"-12.3400", "-12.34", 4}, {" +5 ", "5", 0}, {".5", "0.5", 1},
      {"5.", "5", 0},       {"-0.000", "0", 3},
      {"79228162514264337593543950335", "79228162514264337593543950335", 0},  // 2^96 - 1
      {"79228162514264337593543950336", nullptr, 0},                          // 2^96
      {"0.0000000000000000000000000001", "0.0000000000000000000000000001", 28},
      {"0.00000000000000000000000000001", nullptr, 0},  // 29 decimals
      {"1e5", nullptr, 0},  {"", nullptr, 0}, {"-", nullptr, 0}, {".", nullptr, 0}, {"1.2.3", nullptr, 0},
  };
  for (const auto& c : cases) {
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
  const struct {
    const char* text;
    std::optional<std::int64_t> raw;
  } cases[] = {
      {"-20.00", -200000}, {"250.5", 2505000}, {"0.0001", 1},
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
      {"1e3", std::nullopt}, {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseMoney(c.text), c.raw) << c.text;
}

TEST(ParseIsoDateTimeTest, ReadsDatesAndTimes) {
  const struct {
    const char* text;
    std::optional<DateTime> value;
  } cases[] = {
      {"2011-03-31", DateTime::FromParts(2011, 3, 31)},
      {"2011-03-31T23:00:59", DateTime::FromParts(2011, 3, 31, 23, 0, 59)},
      {"2011-03-31 23:00:59.250", DateTime::FromParts(2011, 3, 31, 23, 0, 59)},
      {"0100-01-01", DateTime::FromParts(100, 1, 1)},
      {"9999-12-31 23:59:59", DateTime::FromParts(9999, 12, 31, 23, 59, 59)},
      {"1899-12-29 06:00:00", DateTime(-1.25)},
      {"2011-02-29", std::nullopt},       {"2011-3-31", std::nullopt},   {"03/31/2011", std::nullopt},
      {"2011-03-31 24:00", std::nullopt}, {"2011-03-31x", std::nullopt}, {"2011-03-31 23:00:", std::nullopt},
  };
  for (const auto& c : cases) {
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

TEST(ExtendedDateTimeTest, ReadsTheStoredFormExactly) {
  const struct {
    const char* stored;    // the 41 characters before the NUL
    const char* expected;  // nullptr: not a value
  } cases[] = {
      {"0000000000000000000:0000000000000000000:7", "0001-01-01 00:00:00.0000000"},
      {"0000000000000737954:0000000819123456789:7", "2021-06-14 22:45:12.3456789"},
      {"0000000000000693593:0000000000000000000:0", "1899-12-30 00:00:00.0000000"},
      {"0000000000000730178:0000000000000000000:7", "2000-02-29 00:00:00.0000000"},  // a leap day
      {"0000000000000000059:0000000000000000000:7", "0001-03-01 00:00:00.0000000"},  // year 1 is no leap year
      {"0000000000003652058:0000000863999999999:7", "9999-12-31 23:59:59.9999999"},
      {"0000000000003652059:0000000000000000000:7", nullptr},  // 1 January 10000
      {"0000000000000737592:0000000864000000000:7", nullptr},  // a whole day of ticks
      {"0000000000000737592:0000000000000000000:8", nullptr},  // eight fractional digits
      {"000000000000073759x:0000000000000000000:7", nullptr},
      {"0000000000000737592 0000000000000000000:7", nullptr},
      {"-000000000000737592:0000000000000000000:7", nullptr},
      {"9999999999999999999:9999999999999999999:7", nullptr},  // beyond 64 bits
  };
  for (const auto& c : cases) {
    std::array<std::uint8_t, kExtendedDateTimeSize> stored{};
    std::memcpy(stored.data(), c.stored, kExtendedDateTimeSize - 1);
    const auto text = ExtendedDateTimeText(stored);
    if (c.expected == nullptr) {
      EXPECT_FALSE(text) << c.stored;
      continue;
    }
    ASSERT_TRUE(text) << c.stored;
    EXPECT_EQ(*text, c.expected) << c.stored;
    EXPECT_TRUE(IsExtendedDateTimeText(*text)) << *text;
  }
}

TEST(ExtendedDateTimeTest, RecognisesOnlyItsOwnText) {
  for (const char* text : {"2021-02-29 00:00:00.0000000", "2020-13-01 00:00:00.0000000", "0000-01-01 00:00:00.0000000",
                           "2020-01-01 24:00:00.0000000", "2020-01-01 00:00:00", "2020-01-01T00:00:00.0000000",
                           "2020-01-01 00:00:00.000000x", ""}) {
    EXPECT_FALSE(IsExtendedDateTimeText(text)) << text;
  }
  EXPECT_TRUE(IsExtendedDateTimeText("2000-02-29 23:59:59.9999999"));
}

}  // namespace
}  // namespace qorvel::jet
