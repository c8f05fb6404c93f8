// Currency: checked fixed-point arithmetic in ten-thousandths.
#include "qorvel/currency.h"

#include <cmath>
#include <limits>

#include "base/text_ops.h"
#include "qorvel/automation_error.h"

namespace qorvel {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

}  // namespace

Currency Currency::FromUnits(std::int64_t units) {
  if (units > kMax / kScale || units < kMin / kScale) RaiseOverflow();
  return FromRaw(units * kScale);
}

Currency Currency::FromDouble(double value) {
  const double scaled = RoundHalfEven(value * static_cast<double>(kScale));
  // 2^63 is exactly representable; the valid range is [-2^63, 2^63).
  if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) RaiseOverflow();
  return FromRaw(static_cast<std::int64_t>(scaled));
}

double Currency::ToDouble() const {
  const std::int64_t whole = raw_ / kScale;
  const std::int64_t frac = raw_ % kScale;
  return static_cast<double>(whole) + static_cast<double>(frac) / static_cast<double>(kScale);
}

Long Currency::ToLong() const {
  std::int64_t whole = raw_ / kScale;
  const std::int64_t frac = raw_ % kScale;  // same sign as raw_
  const std::int64_t half = kScale / 2;
  if (frac > half || (frac == half && whole % 2 != 0)) ++whole;
  if (frac < -half || (frac == -half && whole % 2 != 0)) --whole;
  if (whole > std::numeric_limits<Long>::max() || whole < std::numeric_limits<Long>::min()) {
    RaiseOverflow();
  }
  return static_cast<Long>(whole);
}

std::string Currency::ToFixedString() const {
  // Work on the magnitude as unsigned so that the minimum value is exact.
  const bool negative = raw_ < 0;
  const std::uint64_t magnitude =
      negative ? static_cast<std::uint64_t>(0) - static_cast<std::uint64_t>(raw_)
               : static_cast<std::uint64_t>(raw_);
  // Digits from the right: four decimals, the point, then the whole units.
  char digits[32];
  char* p = digits + sizeof digits;
  std::uint64_t rest = magnitude;
  for (int i = 0; i < 4; ++i, rest /= 10) *--p = static_cast<char>('0' + rest % 10);
  *--p = '.';
  do {
    *--p = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  if (negative) *--p = '-';
  return std::string(p, digits + sizeof digits);
}

Currency Currency::operator+(Currency other) const {
  if ((other.raw_ > 0 && raw_ > kMax - other.raw_) || (other.raw_ < 0 && raw_ < kMin - other.raw_)) {
    RaiseOverflow();
  }
  return FromRaw(raw_ + other.raw_);
}

Currency Currency::operator-(Currency other) const {
  if ((other.raw_ < 0 && raw_ > kMax + other.raw_) || (other.raw_ > 0 && raw_ < kMin + other.raw_)) {
    RaiseOverflow();
  }
  return FromRaw(raw_ - other.raw_);
}

Currency Currency::operator-() const {
  if (raw_ == kMin) RaiseOverflow();
  return FromRaw(-raw_);
}

}  // namespace qorvel
