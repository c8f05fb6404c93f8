// DateTime: conversions between the automation date and calendar fields.
#include "qorvel/date_time.h"

#include <cmath>
#include <cstdio>

namespace qorvel {
namespace {

// Days from 1970-01-01 to the civil date y-m-d (proleptic Gregorian).
constexpr long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

struct Civil {
  long long y;
  unsigned m;
  unsigned d;
};

constexpr Civil CivilFromDays(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {y + (m <= 2), m, d};
}

constexpr long long kEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Day number (days since the epoch) and seconds into that day, the time of
// day rounded to the nearest second and carried into the next day.
void Split(double value, long long* day, long long* seconds) {
  double whole = std::trunc(value);
  const double frac = std::fabs(value - whole);
  long long secs = std::llround(frac * 86400.0);
  long long d = static_cast<long long>(whole);
  if (secs >= 86400) {
    secs -= 86400;
    ++d;
  }
  *day = d;
  *seconds = secs;
}

}  // namespace

std::optional<DateTime> DateTime::FromParts(int year, int month, int day, int hour, int minute,
                                            int second) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59) {
    return std::nullopt;
  }
  const long long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpoch;
  const double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  const double value = days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
  return DateTime(value);
}

bool DateTime::IsValid() const {
  return std::isfinite(value_) && value_ > kMinValue - 1.0 && value_ < 2958466.0;
}

DateTime::Parts DateTime::ToParts() const {
  long long day = 0;
  long long secs = 0;
  Split(value_, &day, &secs);
  const Civil c = CivilFromDays(day + kEpoch);
  Parts p;
  p.year = static_cast<int>(c.y);
  p.month = static_cast<int>(c.m);
  p.day = static_cast<int>(c.d);
  p.hour = static_cast<int>(secs / 3600);
  p.minute = static_cast<int>(secs / 60 % 60);
  p.second = static_cast<int>(secs % 60);
  // 1970-01-01 was a Thursday (4).
  const long long unix_day = day + kEpoch;
  p.day_of_week = static_cast<int>(((unix_day % 7) + 7 + 4) % 7);
  return p;
}

long long DateTime::DayNumber() const {
  long long day = 0;
  long long secs = 0;
  Split(value_, &day, &secs);
  return day;
}

DateTime DateTime::DatePart() const { return DateTime(static_cast<double>(DayNumber())); }

double DateTime::TimeOfDay() const {
  long long day = 0;
  long long secs = 0;
  Split(value_, &day, &secs);
  return static_cast<double>(secs) / 86400.0;
}

std::string DateTime::ToIsoString() const {
  const Parts p = ToParts();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return buf;
}

}  // namespace qorvel
