// Reading a date under a locale's settings.
#include "platform/posix/date_reading.h"

#include <algorithm>
#include <cstddef>
#include <ctime>
#include <vector>

#include "platform/number_text.h"
#include "qorvel/automation_error.h"

namespace qorvel::platform {
namespace {

// The character tests the date reader shares with the number scanner live
// in platform/number_text.h.
using scan::DigitValue;
using scan::IsBlank;
using scan::IsDigit;
using scan::MatchAt;
using scan::MatchFoldedAt;

// Letters of words in a date (names and AM/PM markers): ASCII letters and
// everything beyond Latin-1's symbols except spaces and punctuation blocks.
constexpr bool IsWordChar(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) return true;
  if (c < 0xC0 || c == 0xD7 || c == 0xF7) return false;
  if (c >= 0x2000 && c <= 0x206F) return false;  // spaces and general punctuation
  return c != 0x3000 && c != 0xFEFF;
}

bool EqualsFolded(TextView a, TextView b) { return a.size() == b.size() && MatchFoldedAt(a, 0, b) != 0; }

enum class DateTokenKind { kNumber, kMonth, kDateSeparator, kTimeSeparator, kAm, kPm, kEnd };

struct DateToken {
  DateTokenKind kind;
  int value = 0;
};

// 1-12 when the word is a month name of the language, else 0.
int MonthOfWord(TextView word, const CalendarNames& names) {
  for (int i = 0; i < 12; ++i) {
    if (EqualsFolded(word, names.months[i]) || EqualsFolded(word, names.short_months[i])) return i + 1;
  }
  return 0;
}

bool IsDayWord(TextView word, const CalendarNames& names) {
  for (int i = 0; i < 7; ++i) {
    if (EqualsFolded(word, names.days[i]) || EqualsFolded(word, names.short_days[i])) return true;
  }
  return false;
}

std::vector<DateToken> TokenizeDate(const LocaleInfo& info, const CalendarNames& names, TextView text) {
  constexpr int kTooBig = 1000000;  // no field of a date is this large
  const bool dot_is_date_separator = info.date_separator == u".";
  const bool japanese = names.language == "ja";
  std::vector<DateToken> tokens;
  const std::size_t n = text.size();
  std::size_t pos = 0;
  while (pos < n) {
    const char16_t c = text[pos];
    if (IsBlank(c) || c == u',' || c == 0xA0) {
      ++pos;
      continue;
    }
    if (IsDigit(c)) {
      int value = 0;
      for (; pos < n && IsDigit(text[pos]); ++pos) value = std::min(value * 10 + DigitValue(text[pos]), kTooBig);
      tokens.push_back({DateTokenKind::kNumber, value});
      continue;
    }
    // Japanese dates write year, month and day as a number and a sign.
    if (japanese && pos > 0 && IsDigit(text[pos - 1])) {
      if (c == u'\u5E74' || c == u'\u6708') {
        tokens.push_back({DateTokenKind::kDateSeparator});
        ++pos;
        continue;
      }
      if (c == u'\u65E5') {
        ++pos;
        continue;
      }
    }
    if (c == u'/' || c == u'-' || (c == u'.' && dot_is_date_separator)) {
      tokens.push_back({DateTokenKind::kDateSeparator});
      ++pos;
      continue;
    }
    if (c == u':' || c == u'.') {
      tokens.push_back({DateTokenKind::kTimeSeparator});
      ++pos;
      continue;
    }
    if (const std::size_t len = MatchAt(text, pos, info.date_separator)) {
      tokens.push_back({DateTokenKind::kDateSeparator});
      pos += len;
      continue;
    }
    if (const std::size_t len = MatchAt(text, pos, info.time_separator)) {
      tokens.push_back({DateTokenKind::kTimeSeparator});
      pos += len;
      continue;
    }
    if (IsWordChar(c)) {
      std::size_t end = pos;
      while (end < n && IsWordChar(text[end])) ++end;
      const TextView word = text.substr(pos, end - pos);
      const int month = MonthOfWord(word, names);
      if (month != 0 || IsDayWord(word, names)) {
        if (month != 0) tokens.push_back({DateTokenKind::kMonth, month});
        pos = end;
        // The full stop of an abbreviation ("janv.").
        if (pos < n && text[pos] == u'.' && !dot_is_date_separator) ++pos;
        continue;
      }
    }
    // AM/PM markers: the locale's own, and the English ones everywhere.
    if (const std::size_t len = MatchFoldedAt(text, pos, info.am)) {
      tokens.push_back({DateTokenKind::kAm});
      pos += len;
    } else if (const std::size_t len2 = MatchFoldedAt(text, pos, info.pm)) {
      tokens.push_back({DateTokenKind::kPm});
      pos += len2;
    } else if (MatchFoldedAt(text, pos, u"AM")) {
      tokens.push_back({DateTokenKind::kAm});
      pos += 2;
    } else if (MatchFoldedAt(text, pos, u"PM")) {
      tokens.push_back({DateTokenKind::kPm});
      pos += 2;
    } else {
      RaiseTypeMismatch();
    }
  }
  return tokens;
}

struct DateValue {
  int value;
  bool is_month_name;
};

// The orders in which three date values may stand, with the position of
// the month, the day and the year in each.
struct DateOrder {
  int month;
  int day;
  int year;
};
constexpr DateOrder kMDY{0, 1, 2};
constexpr DateOrder kDMY{1, 0, 2};
constexpr DateOrder kYMD{1, 2, 0};
constexpr DateOrder kYDM{2, 1, 0};
constexpr DateOrder kMYD{0, 2, 1};
constexpr DateOrder kDYM{2, 0, 1};

constexpr bool InRange(int value, int low, int high) { return value >= low && value <= high; }

int WindowYear(int year) {
  if (year < 30) return year + 2000;
  if (year < 100) return year + 1900;
  return year;
}

int CurrentYear() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 2000;
  return local.tm_year + 1900;
}

struct CalendarDate {
  int year = 1899;
  int month = 12;
  int day = 30;
};

CalendarDate ResolveThree(const std::vector<DateValue>& values, int date_order) {
  int month_name_at = -1;
  for (int i = 0; i < 3; ++i) {
    if (!values[i].is_month_name) continue;
    if (month_name_at >= 0) RaiseTypeMismatch();
    month_name_at = i;
  }
  const DateOrder first = date_order == 1 ? kDMY : date_order == 2 ? kYMD : kMDY;
  const DateOrder second = date_order == 0 ? kDMY : kMDY;
  const DateOrder orders[] = {first, second, kMDY, kYMD, kYDM, kDMY, kMYD, kDYM};
  for (const DateOrder& order : orders) {
    if (month_name_at >= 0 && order.month != month_name_at) continue;
    const int month = values[order.month].value;
    const int day = values[order.day].value;
    if (InRange(month, 1, 12) && InRange(day, 1, 31)) return {WindowYear(values[order.year].value), month, day};
  }
  RaiseTypeMismatch();
}

CalendarDate ResolveTwo(const std::vector<DateValue>& values, int date_order) {
  const bool first_is_month = values[0].is_month_name;
  if (first_is_month && values[1].is_month_name) RaiseTypeMismatch();
  if (first_is_month || values[1].is_month_name) {
    // A month name and a day of the current year, or a month and a year.
    const int month = values[first_is_month ? 0 : 1].value;
    const int other = values[first_is_month ? 1 : 0].value;
    if (InRange(other, 1, 31)) return {CurrentYear(), month, other};
    return {WindowYear(other), month, 1};
  }
  const int a = values[0].value;
  const int b = values[1].value;
  const bool day_first = date_order == 1;
  const int month = day_first ? b : a;
  const int day = day_first ? a : b;
  if (InRange(month, 1, 12) && InRange(day, 1, 31)) return {CurrentYear(), month, day};
  if (InRange(day, 1, 12) && InRange(month, 1, 31)) return {CurrentYear(), day, month};
  if (InRange(a, 1, 12)) return {WindowYear(b), a, 1};
  RaiseTypeMismatch();
}

}  // namespace

DateTime ReadDate(const LocaleInfo& info, const CalendarNames& names, TextView text) {
  const std::vector<DateToken> tokens = TokenizeDate(info, names, text);
  auto kind_at = [&](std::size_t k) { return k < tokens.size() ? tokens[k].kind : DateTokenKind::kEnd; };

  std::vector<DateValue> date;
  std::vector<int> time;
  bool have_time = false;
  DateTokenKind marker = DateTokenKind::kEnd;
  for (std::size_t i = 0; i < tokens.size();) {
    const DateToken& token = tokens[i];
    switch (token.kind) {
      case DateTokenKind::kNumber:
        if (kind_at(i + 1) == DateTokenKind::kTimeSeparator) {
          // hours:minutes[:seconds]
          if (have_time) RaiseTypeMismatch();
          have_time = true;
          time.push_back(token.value);
          ++i;
          while (kind_at(i) == DateTokenKind::kTimeSeparator) {
            if (kind_at(i + 1) != DateTokenKind::kNumber || time.size() == 3) RaiseTypeMismatch();
            time.push_back(tokens[i + 1].value);
            i += 2;
          }
          continue;
        }
        if (kind_at(i + 1) == DateTokenKind::kAm || kind_at(i + 1) == DateTokenKind::kPm) {
          // An hour alone before its marker ("2 PM").
          if (have_time) RaiseTypeMismatch();
          have_time = true;
          time.push_back(token.value);
          ++i;
          continue;
        }
        [[fallthrough]];
      case DateTokenKind::kMonth:
        date.push_back({token.value, token.kind == DateTokenKind::kMonth});
        ++i;
        if (kind_at(i) == DateTokenKind::kDateSeparator) {
          const DateTokenKind next = kind_at(i + 1);
          if (next != DateTokenKind::kNumber && next != DateTokenKind::kMonth) RaiseTypeMismatch();
          ++i;
        }
        continue;
      case DateTokenKind::kAm:
      case DateTokenKind::kPm:
        if (marker != DateTokenKind::kEnd) RaiseTypeMismatch();
        marker = token.kind;
        ++i;
        continue;
      default:  // a separator out of place
        RaiseTypeMismatch();
    }
  }

  CalendarDate calendar;
  switch (date.size()) {
    case 0:
      if (!have_time) RaiseTypeMismatch();
      break;
    case 2:
      calendar = ResolveTwo(date, info.date_order);
      break;
    case 3:
      calendar = ResolveThree(date, info.date_order);
      break;
    default:
      RaiseTypeMismatch();
  }

  int hour = have_time ? time[0] : 0;
  const int minute = time.size() > 1 ? time[1] : 0;
  const int second = time.size() > 2 ? time[2] : 0;
  if (marker != DateTokenKind::kEnd) {
    if (!have_time) RaiseTypeMismatch();
    if (marker == DateTokenKind::kPm && hour < 12) hour += 12;
    if (marker == DateTokenKind::kAm && hour == 12) hour = 0;
  }
  if (!DateTime::FromParts(calendar.year, calendar.month, calendar.day, hour, minute, second)) {
    RaiseTypeMismatch();
  }
  // The time of day is added as hours / 24, minutes / 1440 and seconds /
  // 86400 in turn (away from zero before 30 December 1899), as the
  // automation composes a date, so that the same text gives the same double.
  double value = DateTime::FromParts(calendar.year, calendar.month, calendar.day)->value();
  const double direction = value < 0 ? -1.0 : 1.0;
  value += direction * hour / 24.0;
  value += direction * minute / 1440.0;
  value += direction * second / 86400.0;
  return DateTime(value);
}

}  // namespace qorvel::platform
