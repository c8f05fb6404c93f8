// The value types: Currency arithmetic and rounding, automation dates,
// UTF-8 at the edges and its validity, Decimal text.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "base/text_ops.h"
#include "qorvel/automation_error.h"
#include "qorvel/currency.h"
#include "qorvel/date_time.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"
#include "support/jet_support.h"

namespace qorvel {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

long ErrorOf(const std::function<void()>& f) { return jet::testing::ErrorOf(f).number(); }

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

TEST(DateTime, NegativeDatesKeepTheTimeAsTheFraction) {
  const std::tuple<double, const char*, long long> cases[] = {  // the value, its ISO text, its day
      {-1.25, "1899-12-29T06:00:00", -1}, {-1.75, "1899-12-29T18:00:00", -1},
      {-0.5, "1899-12-30T12:00:00", 0},  // day 0 written negative
      {-657434.0, "0100-01-01T00:00:00", -657434},
      {40633.999999999, "2011-04-01T00:00:00", 40634},  // rounds to the next day
  };
  for (const auto& [value, iso, day] : cases) {
    EXPECT_EQ(DateTime(value).ToIsoString(), iso) << value;
    EXPECT_EQ(DateTime(value).DayNumber(), day) << value;
  }
  EXPECT_EQ(DateTime(-1.25).DatePart().value(), -1.0);
  EXPECT_DOUBLE_EQ(DateTime(-1.25).TimeOfDay(), 0.25);
}

TEST(DateTime, FromPartsValidatesAndEncodes) {
  EXPECT_EQ(DateTime::FromParts(1899, 12, 29, 6, 0, 0)->value(), -1.25);
  EXPECT_EQ(DateTime::FromParts(2010, 3, 31)->value(), 40268.0);
  EXPECT_TRUE(DateTime::FromParts(2012, 2, 29));
  const std::array<int, 4> bad[] = {{2011, 2, 29, 0}, {99, 1, 1, 0}, {10000, 1, 1, 0}, {2011, 13, 1, 0}, {2011, 1, 1, 24}};
  for (const auto& [y, mo, d, h] : bad) EXPECT_FALSE(DateTime::FromParts(y, mo, d, h, 0, 0)) << y << " " << mo << " " << h;
  EXPECT_EQ(DateTime::FromParts(2011, 8, 8)->ToParts().day_of_week, 1);  // a Monday
}

TEST(Text, Utf8RoundTripAndReplacement) {
  const Text mixed = u"Zoë 日本 \U0001F600";
  EXPECT_EQ(FromUtf8(ToUtf8(mixed)), mixed);
  EXPECT_EQ(ToUtf8(Text(1, u'\xD800')), "\xEF\xBF\xBD");  // unpaired surrogate
  EXPECT_EQ(FromUtf8("\xC3"), Text(1, u'\xFFFD'));          // truncated sequence
  EXPECT_EQ(FromUtf8("\xE0\x80\x80"), Text(1, u'\xFFFD'));  // overlong form
}

TEST(TextOps, InvalidUtf8At) {
  const std::pair<std::string, std::optional<std::size_t>> cases[] = {
      {"plain ASCII", std::nullopt},
      {"Jos\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBD", std::nullopt},  // 2, 3 and 4 bytes
      {"Jos\xE9 M", 3},                                                          // a code-page byte
      {"ab\xC0\x80", 2},                                                         // overlong NUL
      {"\xE0\x80\xAF", 0},                                                       // overlong slash
      {"x\xED\xA0\x80", 1},                                                      // a surrogate
      {"\xF4\x90\x80\x80", 0},                                                   // above U+10FFFF
      {"ok\xE2\x82", 2},                                                         // cut short
      {"\x80", 0},                                                               // a lone continuation
      {"\xff", 0},
  };
  for (const auto& [bytes, fault] : cases) EXPECT_EQ(InvalidUtf8At(bytes), fault) << bytes;
}

}  // namespace
}  // namespace qorvel
