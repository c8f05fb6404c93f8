// The value types: Currency arithmetic and rounding, automation dates,
// UTF-8 at the edges and its validity, Decimal text.
#include <gtest/gtest.h>

#include <limits>

#include "base/text_ops.h"
#include "qorvel/automation_error.h"
#include "qorvel/currency.h"
#include "qorvel/date_time.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"

namespace qorvel {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

long ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

TEST(Currency, CheckedArithmeticRaisesOverflow) {
  const Currency max = Currency::FromRaw(kMax);
  const Currency min = Currency::FromRaw(kMin);
  EXPECT_EQ(ErrorOf([&] { (void)(max + Currency::FromRaw(1)); }), 6);
  EXPECT_EQ(ErrorOf([&] { (void)(min - Currency::FromRaw(1)); }), 6);
  EXPECT_EQ(ErrorOf([&] { (void)(-min); }), 6);
  EXPECT_EQ(ErrorOf([&] { (void)Currency::FromUnits(922337203685478); }), 6);
  EXPECT_EQ(ErrorOf([&] { (void)Currency::FromDouble(1e20); }), 6);
  EXPECT_EQ(ErrorOf([&] { (void)Currency::FromDouble(std::numeric_limits<double>::quiet_NaN()); }), 6);
  EXPECT_EQ((max + min).raw(), -1);
  EXPECT_EQ((Currency::FromRaw(-100) - Currency::FromRaw(-100)).raw(), 0);
}

TEST(Currency, RoundingIsHalfToEven) {
  const std::pair<double, std::int64_t> from_double[] = {
      {0.03125, 312}, {0.09375, 938}, {-0.03125, -312}, {2.5, 25000}, {1.5e-7, 0}};
  for (const auto& [d, raw] : from_double) EXPECT_EQ(Currency::FromDouble(d).raw(), raw) << d;
  const std::pair<std::int64_t, Long> to_long[] = {
      {25000, 2}, {35000, 4}, {-25000, -2}, {-35000, -4}, {25001, 3}, {-15000, -2}, {4999, 0}};
  for (const auto& [raw, l] : to_long) EXPECT_EQ(Currency::FromRaw(raw).ToLong(), l) << raw;
  EXPECT_EQ(ErrorOf([] { (void)Currency::FromUnits(2147483648).ToLong(); }), 6);
}

TEST(Currency, FixedStringHasFourDecimals) {
  EXPECT_EQ(Currency::FromRaw(-100).ToFixedString(), "-0.0100");
  EXPECT_EQ(Currency::FromRaw(3305000).ToFixedString(), "330.5000");
  EXPECT_EQ(Currency::FromRaw(kMin).ToFixedString(), "-922337203685477.5808");
  EXPECT_EQ(Currency::FromRaw(kMax).ToFixedString(), "922337203685477.5807");
}

TEST(DateTime, NegativeDatesKeepTheTimeAsTheFraction) {
  struct Case {
    double value;
    const char* iso;
    long long day;
  };
  const Case cases[] = {
      {0.0, "1899-12-30T00:00:00", 0},
      {-1.25, "1899-12-29T06:00:00", -1},
      {0.5, "1899-12-30T12:00:00", 0},
      {-0.5, "1899-12-30T12:00:00", 0},
      {40268.0, "2010-03-31T00:00:00", 40268},
      {40633.99998842593, "2011-03-31T23:59:59", 40633},
      {40633.999999999, "2011-04-01T00:00:00", 40634},  // rounds to the next day
      {-657434.0, "0100-01-01T00:00:00", -657434},
      {2958465.0, "9999-12-31T00:00:00", 2958465},
  };
  for (const Case& c : cases) {
    const DateTime d(c.value);
    EXPECT_EQ(d.ToIsoString(), c.iso) << c.value;
    EXPECT_EQ(d.DayNumber(), c.day) << c.value;
  }
  EXPECT_EQ(DateTime(-1.25).DatePart().value(), -1.0);
  EXPECT_DOUBLE_EQ(DateTime(-1.25).TimeOfDay(), 0.25);
}

TEST(DateTime, FromPartsValidatesAndEncodes) {
  EXPECT_EQ(DateTime::FromParts(1899, 12, 29, 6, 0, 0)->value(), -1.25);
  EXPECT_EQ(DateTime::FromParts(2010, 3, 31)->value(), 40268.0);
  EXPECT_FALSE(DateTime::FromParts(2011, 2, 29));
  EXPECT_TRUE(DateTime::FromParts(2012, 2, 29));
  EXPECT_FALSE(DateTime::FromParts(99, 1, 1));
  EXPECT_FALSE(DateTime::FromParts(10000, 1, 1));
  EXPECT_FALSE(DateTime::FromParts(2011, 13, 1));
  EXPECT_FALSE(DateTime::FromParts(2011, 1, 1, 24, 0, 0));
  EXPECT_EQ(DateTime::FromParts(2011, 8, 8)->ToParts().day_of_week, 1);  // a Monday
}

TEST(Text, Utf8RoundTripAndReplacement) {
  const Text mixed = u"Zoë 日本 \U0001F600";
  EXPECT_EQ(FromUtf8(ToUtf8(mixed)), mixed);
  EXPECT_EQ(ToUtf8(Text(1, u'\xD800')), "\xEF\xBF\xBD");  // unpaired surrogate
  EXPECT_EQ(FromUtf8("\xC3"), Text(1, u'\xFFFD'));          // truncated sequence
  EXPECT_EQ(FromUtf8("\xE0\x80\x80"), Text(1, u'\xFFFD'));  // overlong form
}

TEST(Decimal, TextDropsTrailingZeros) {
  EXPECT_EQ((Decimal{4, true, 0, 123400}).ToString(), "-12.34");
  EXPECT_EQ((Decimal{4, false, 0, 0}).ToString(), "0");
  EXPECT_EQ((Decimal{0, false, 1, 0}).ToString(), "18446744073709551616");
  EXPECT_EQ((Decimal{2, false, 0, 5}).ToString(), "0.05");
}

TEST(TextOps, InvalidUtf8At) {
  for (const char* good : {"", "abc", "Grüße", "日本語", "😀", "\xef\xbf\xbd"}) {
    EXPECT_FALSE(InvalidUtf8At(good)) << good;
  }
  for (const char* bad : {"\xff", "a\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\x80"}) {
    EXPECT_TRUE(InvalidUtf8At(bad)) << bad;
  }
}

}  // namespace
}  // namespace qorvel
