// Currency: the automation money type, a signed 64-bit count of
// ten-thousandths (four decimal places). Every money result of the library
// is a Currency, and money never passes through binary floating point on
// its way from the database to a result.
//
// Arithmetic is checked: a result outside the 64-bit range raises run-time
// error 6 (Overflow) as an AutomationError.
#ifndef QORVEL_CURRENCY_H_
#define QORVEL_CURRENCY_H_

#include <compare>
#include <cstdint>
#include <string>

#include "qorvel/export.h"
#include "qorvel/types.h"

namespace qorvel {

class QORVEL_API Currency {
 public:
  static constexpr std::int64_t kScale = 10000;

  constexpr Currency() = default;

  // The value raw / 10,000.
  static constexpr Currency FromRaw(std::int64_t ten_thousandths) {
    Currency c;
    c.raw_ = ten_thousandths;
    return c;
  }
  // A whole number of units; raises Overflow outside the range.
  static Currency FromUnits(std::int64_t units);
  // The nearest Currency to a double, halves rounded to even at the fourth
  // decimal; raises Overflow outside the range and for NaN.
  static Currency FromDouble(double value);

  constexpr std::int64_t raw() const { return raw_; }

  // The value as a double (exact for |value| below 2^53 / 10,000).
  double ToDouble() const;
  // Rounded to a whole number, halves to even, as the automation rounds a
  // Currency to an integer; raises Overflow outside the Long range.
  Long ToLong() const;

  // Exactly four decimals, a '.' point and a leading '-' when negative, for
  // machine-readable output ("-0.0100", "330.5000").
  std::string ToFixedString() const;

  Currency operator+(Currency other) const;
  Currency operator-(Currency other) const;
  Currency operator-() const;
  Currency& operator+=(Currency other) { return *this = *this + other; }

  friend constexpr bool operator==(Currency, Currency) = default;
  friend constexpr auto operator<=>(Currency a, Currency b) { return a.raw_ <=> b.raw_; }

 private:
  std::int64_t raw_ = 0;
};

}  // namespace qorvel

#endif  // QORVEL_CURRENCY_H_
