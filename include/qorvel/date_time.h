// DateTime: the automation date, days since 30 December 1899 as a double.
//
// The whole part counts days, the fraction is the time of day. For dates
// before 30 December 1899 the whole part is negative and the fraction is
// still the time of day: -1.25 is 29 December 1899 at 06:00. The valid range
// is 1 January 100 to 31 December 9999.
#ifndef QORVEL_DATE_TIME_H_
#define QORVEL_DATE_TIME_H_

#include <optional>
#include <string>

#include "qorvel/export.h"

namespace qorvel {

class QORVEL_API DateTime {
 public:
  // Calendar and clock fields of a date, to the second.
  struct Parts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int day_of_week = 0;  // 0 Sunday .. 6 Saturday, filled by ToParts
  };

  static constexpr double kMinValue = -657434.0;          // 0100-01-01
  static constexpr double kMaxValue = 2958465.99998842;   // 9999-12-31 23:59:59

  constexpr DateTime() = default;
  constexpr explicit DateTime(double value) : value_(value) {}

  // The date of the given fields, or nothing when a field is out of range
  // (month 1-12, day valid in its month, year 100-9999, hour 0-23,
  // minute and second 0-59).
  static std::optional<DateTime> FromParts(int year, int month, int day, int hour = 0,
                                           int minute = 0, int second = 0);

  constexpr double value() const { return value_; }

  // True within the automation date range.
  bool IsValid() const;

  // The fields of this date, the time rounded to the nearest second.
  // Precondition: IsValid().
  Parts ToParts() const;

  // The calendar date alone (time of day dropped), and the time alone as a
  // fraction of a day from 0 to below 1.
  DateTime DatePart() const;
  double TimeOfDay() const;

  // Serial day number of the calendar date (rounded to the second first),
  // for counting day boundaries.
  long long DayNumber() const;

  // "yyyy-mm-ddThh:mm:ss", for machine-readable output.
  std::string ToIsoString() const;

  friend constexpr bool operator==(DateTime a, DateTime b) { return a.value_ == b.value_; }

 private:
  double value_ = 0.0;
};

}  // namespace qorvel

#endif  // QORVEL_DATE_TIME_H_
