// The conversions of a locale computed from its Windows settings: how the
// automation reads and writes dates and numbers under a user locale, done
// by our own code on Linux.
//
// Reading a date: the text is cut into numbers, month and weekday names,
// date and time separators and AM/PM markers; numbers joined by time
// separators are the time, the others the date. Three date numbers are
// tried in the locale's order, then in the other day/month order, then in
// the remaining orders, and the first reading whose month is 1-12 and whose
// day is 1-31 is taken (so 03/31/2010 is 31 March in a day-first locale);
// the day must then exist in its month. Years below 30 are 2000-2029, years
// 30-99 are 1930-1999.
//
// Reading a number: blanks around it, a sign at either end or parentheses,
// the currency symbol before or after, thousands separators anywhere after
// the first digit (a plain blank stands for a non-breaking one), one decimal
// separator, an exponent. A double is composed from its digits and a power
// of ten; a Currency is read exactly and rounded half to even at the fourth
// decimal.
//
// Writing: dates with the short date and long time pictures, doubles with
// 15 significant digits, Currency exactly.
#include "platform/posix/table_locale.h"

#include <iconv.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/number_text.h"
#include "qorvel/automation_error.h"

namespace qorvel::platform {
namespace {

// ---------------------------------------------------------------------------
// Characters

// The number scanner and the character tests it shares with the date
// reader live in platform/number_text.h.
using scan::DigitValue;
using scan::Fold;
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

void AppendNumber(Text& out, long long value, int min_digits) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  for (int pad = min_digits - static_cast<int>(result.ptr - buf); pad > 0; --pad) out += u'0';
  for (const char* p = buf; p != result.ptr; ++p) out += static_cast<char16_t>(*p);
}

TextView SignText(const LocaleInfo& info) { return info.negative_sign.empty() ? TextView(u"-") : info.negative_sign; }

// ---------------------------------------------------------------------------
// Reading dates

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

// ---------------------------------------------------------------------------
// Writing dates

// Renders a Windows date or time picture (the short date and long time
// settings): d dd ddd dddd, M MM MMM MMMM, y yy yyyy, h hh (12-hour),
// H HH, m mm, s ss, t tt, 'quoted text'; other characters as they are.
Text FormatPicture(const DateTime::Parts& p, TextView picture, const LocaleInfo& info,
                   const CalendarNames& names) {
  Text out;
  const std::size_t n = picture.size();
  for (std::size_t i = 0; i < n;) {
    const char16_t c = picture[i];
    if (c == u'\'') {
      for (++i; i < n; ++i) {
        if (picture[i] != u'\'') {
          out += picture[i];
        } else if (i + 1 < n && picture[i + 1] == u'\'') {
          out += u'\'';
          ++i;
        } else {
          ++i;
          break;
        }
      }
      continue;
    }
    std::size_t run = 1;
    while (i + run < n && picture[i + run] == c) ++run;
    const int width = run >= 2 ? 2 : 1;
    const int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    switch (c) {
      case u'd':
        if (run <= 2) AppendNumber(out, p.day, width);
        else out += run == 3 ? names.short_days[p.day_of_week] : names.days[p.day_of_week];
        break;
      case u'M':
        if (run <= 2) AppendNumber(out, p.month, width);
        else out += run == 3 ? names.short_months[p.month - 1] : names.months[p.month - 1];
        break;
      case u'y':
        if (run <= 2) AppendNumber(out, p.year % 100, width);
        else AppendNumber(out, p.year, 4);
        break;
      case u'g':  // era: none in these calendars
        break;
      case u'h': AppendNumber(out, hour12, width); break;
      case u'H': AppendNumber(out, p.hour, width); break;
      case u'm': AppendNumber(out, p.minute, width); break;
      case u's': AppendNumber(out, p.second, width); break;
      case u't': {
        const Text& marker = p.hour < 12 ? info.am : info.pm;
        out += run == 1 ? TextView(marker).substr(0, 1) : TextView(marker);
        break;
      }
      default: out.append(run, c);
    }
    i += run;
  }
  return out;
}

int DayOfYear(const DateTime::Parts& p) {
  static constexpr int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const bool leap = (p.year % 4 == 0 && p.year % 100 != 0) || p.year % 400 == 0;
  return kDaysBefore[p.month - 1] + p.day + (leap && p.month > 2 ? 1 : 0);
}

// One element of a date pattern (FormatDate).
struct PatternToken {
  enum Kind {
    kLiteral, kDay, kDayName, kShortDate, kMonthOrMinute, kMonthName, kYear2, kYear4, kDayOfYear,
    kHour, kMinute, kSecond, kWeekday, kWeekOfYear, kQuarter, kDateSeparator, kTimeSeparator, kMarker
  };
  Kind kind;
  int length = 1;  // digits (1 or 2), or 3/4 for short/full names
  Text text;       // literal text, or the morning text of a marker
  Text pm = {};    // the afternoon text of a marker
};

std::vector<PatternToken> TokenizePattern(TextView pattern, const LocaleInfo& info) {
  std::vector<PatternToken> tokens;
  const std::size_t n = pattern.size();
  auto literal = [&](TextView text) {
    if (!tokens.empty() && tokens.back().kind == PatternToken::kLiteral) {
      tokens.back().text += text;
    } else {
      tokens.push_back({PatternToken::kLiteral, 1, Text(text)});
    }
  };
  for (std::size_t i = 0; i < n;) {
    const char16_t c = pattern[i];
    // AM/PM markers: "AM/PM" and "A/P" print in the pattern's own letters,
    // "AMPM" prints the locale's texts.
    if (MatchFoldedAt(pattern, i, u"AM/PM")) {
      tokens.push_back({PatternToken::kMarker, 1, Text(pattern.substr(i, 2)), Text(pattern.substr(i + 3, 2))});
      i += 5;
      continue;
    }
    if (MatchFoldedAt(pattern, i, u"AMPM")) {
      tokens.push_back({PatternToken::kMarker, 1, info.am, info.pm});
      i += 4;
      continue;
    }
    if (MatchFoldedAt(pattern, i, u"A/P")) {
      tokens.push_back({PatternToken::kMarker, 1, Text(1, pattern[i]), Text(1, pattern[i + 2])});
      i += 3;
      continue;
    }
    if (c == u'\\') {
      if (i + 1 < n) literal(pattern.substr(i + 1, 1));
      i += 2;
      continue;
    }
    if (c == u'"') {
      const std::size_t close = pattern.find(u'"', i + 1);
      const std::size_t end = close == TextView::npos ? n : close;
      literal(pattern.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    const char16_t lower = Fold(c);
    std::size_t run = 1;
    while (i + run < n && Fold(pattern[i + run]) == lower) ++run;
    std::size_t used = run;
    switch (lower) {
      case u'd':
        used = std::min<std::size_t>(run, 5);
        if (used <= 2) tokens.push_back({PatternToken::kDay, static_cast<int>(used), {}});
        else if (used <= 4) tokens.push_back({PatternToken::kDayName, static_cast<int>(used), {}});
        else tokens.push_back({PatternToken::kShortDate, 5, {}});
        break;
      case u'm':
        used = std::min<std::size_t>(run, 4);
        if (used <= 2) tokens.push_back({PatternToken::kMonthOrMinute, static_cast<int>(used), {}});
        else tokens.push_back({PatternToken::kMonthName, static_cast<int>(used), {}});
        break;
      case u'y':
        used = run >= 4 ? 4 : run >= 2 ? 2 : 1;
        tokens.push_back({used == 4 ? PatternToken::kYear4 : used == 2 ? PatternToken::kYear2 : PatternToken::kDayOfYear,
                          static_cast<int>(used), {}});
        break;
      case u'h':
      case u'n':
      case u's':
      case u'w':
        used = std::min<std::size_t>(run, 2);
        tokens.push_back({lower == u'h'   ? PatternToken::kHour
                          : lower == u'n' ? PatternToken::kMinute
                          : lower == u's' ? PatternToken::kSecond
                          : used == 1     ? PatternToken::kWeekday
                                          : PatternToken::kWeekOfYear,
                          static_cast<int>(used), {}});
        break;
      case u'q':
        used = 1;
        tokens.push_back({PatternToken::kQuarter, 1, {}});
        break;
      case u'/':
        used = 1;
        tokens.push_back({PatternToken::kDateSeparator, 1, {}});
        break;
      case u':':
        used = 1;
        tokens.push_back({PatternToken::kTimeSeparator, 1, {}});
        break;
      default:
        literal(pattern.substr(i, run));
    }
    i += used;
  }
  return tokens;
}

// An m or mm is the minute when it follows an hour or comes before a
// second, the month otherwise.
bool IsMinuteAt(const std::vector<PatternToken>& tokens, std::size_t k) {
  auto is_field = [](PatternToken::Kind kind) {
    return kind != PatternToken::kLiteral && kind != PatternToken::kDateSeparator &&
           kind != PatternToken::kTimeSeparator;
  };
  for (std::size_t j = k; j-- > 0;) {
    if (is_field(tokens[j].kind)) {
      if (tokens[j].kind == PatternToken::kHour) return true;
      break;
    }
  }
  for (std::size_t j = k + 1; j < tokens.size(); ++j) {
    if (is_field(tokens[j].kind)) return tokens[j].kind == PatternToken::kSecond;
  }
  return false;
}

// ---------------------------------------------------------------------------
// ANSI code pages

constexpr int kUnmappable = u'?';

// Windows-1252 bytes 0x80-0x9F; the five unassigned bytes carry the C1
// control of the same number, as the Windows code page table does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int Cp1252Code(char16_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return ch;
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == ch) return 0x80 + i;
  }
  return kUnmappable;
}

// Code page 932 (Shift-JIS with the Windows extensions) for every BMP
// character, from the C library's CP932 converter, built on first use.
// Characters it cannot encode, and all when the converter is missing, get
// the unmappable code.
const std::vector<std::uint16_t>& Cp932Codes() {
  static const std::vector<std::uint16_t>* const codes = [] {
    auto* table = new std::vector<std::uint16_t>(0x10000, static_cast<std::uint16_t>(kUnmappable));
    for (unsigned ch = 0; ch < 0x80; ++ch) (*table)[ch] = static_cast<std::uint16_t>(ch);
    const iconv_t cd = iconv_open("CP932", "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1))) return table;
    for (unsigned ch = 0x80; ch < 0x10000; ++ch) {
      if (ch >= 0xD800 && ch <= 0xDFFF) continue;
      char in[2] = {static_cast<char>(ch & 0xFF), static_cast<char>(ch >> 8)};
      char out[8];
      char* in_ptr = in;
      char* out_ptr = out;
      std::size_t in_left = sizeof in;
      std::size_t out_left = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) continue;
      const std::size_t len = sizeof out - out_left;
      const auto byte = [&](std::size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(out[k])); };
      if (len == 1) (*table)[ch] = static_cast<std::uint16_t>(byte(0));
      if (len == 2) (*table)[ch] = static_cast<std::uint16_t>(byte(0) << 8 | byte(1));
    }
    iconv_close(cd);
    return table;
  }();
  return *codes;
}

int Cp932Code(char16_t ch) {
  if (ch < 0x80) return ch;
  if (ch >= 0xFF61 && ch <= 0xFF9F) return ch - 0xFF61 + 0xA1;  // half-width katakana
  return Cp932Codes()[ch];
}

}  // namespace

// ---------------------------------------------------------------------------

TableLocale::TableLocale(LocaleInfo info) : info_(std::move(info)), names_(NamesForLocale(info_.name)) {}

DateTime TableLocale::TextToDate(TextView text) const { return ReadDate(info_, names_, text); }

Text TableLocale::DateToText(DateTime value) const {
  if (!value.IsValid()) RaiseOverflow();
  const DateTime::Parts p = value.ToParts();
  const bool has_date = value.DayNumber() != 0;
  const bool has_time = p.hour != 0 || p.minute != 0 || p.second != 0;
  Text out;
  if (has_date) out = FormatPicture(p, info_.short_date, info_, names_);
  if (has_time || !has_date) {
    if (has_date) out += u' ';
    out += FormatPicture(p, info_.long_time, info_, names_);
  }
  return out;
}

Text TableLocale::DoubleToText(double value) const {
  if (!std::isfinite(value)) RaiseOverflow();
  if (value == 0.0) return u"0";
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  // The exponent form keeps its '.', as the automation writes it.
  const bool exponent_form = std::find(buf, result.ptr, 'e') != result.ptr;
  Text out;
  for (const char* p = buf; p != result.ptr; ++p) {
    if (*p == '.' && !exponent_form) out += info_.decimal;
    else if (*p == '-' && p == buf) out += SignText(info_);
    else out += static_cast<char16_t>(*p == 'e' ? 'E' : *p);
  }
  return out;
}

Text TableLocale::CurrencyToText(Currency value) const {
  const std::int64_t raw = value.raw();
  const std::uint64_t magnitude = raw < 0 ? static_cast<std::uint64_t>(0) - static_cast<std::uint64_t>(raw)
                                          : static_cast<std::uint64_t>(raw);
  Text out;
  if (raw < 0) out += SignText(info_);
  char buf[24];
  const auto whole = std::to_chars(buf, buf + sizeof buf, magnitude / 10000);
  for (const char* p = buf; p != whole.ptr; ++p) out += static_cast<char16_t>(*p);
  unsigned fraction = static_cast<unsigned>(magnitude % 10000);
  if (fraction != 0) {
    out += info_.decimal;
    for (unsigned scale = 1000; fraction != 0; scale /= 10) {
      out += static_cast<char16_t>(u'0' + fraction / scale);
      fraction %= scale;
    }
  }
  return out;
}

double TableLocale::TextToDouble(TextView text) const {
  const std::optional<ScannedNumber> number = ScanNumber(info_, text, NumberSyntax::kConversion);
  if (!number) RaiseTypeMismatch();
  const double value = ComposeDouble(*number);
  if (!std::isfinite(value)) RaiseOverflow();
  return value;
}

Currency TableLocale::TextToCurrency(TextView text) const {
  const std::optional<ScannedNumber> number = ScanNumber(info_, text, NumberSyntax::kConversion);
  if (!number) RaiseTypeMismatch();
  return ComposeCurrency(*number);
}

bool TableLocale::IsNumeric(TextView text) const { return IsNumericText(info_, text); }

Text TableLocale::FormatDate(DateTime value, TextView pattern) const {
  if (!value.IsValid()) RaiseOverflow();
  const DateTime::Parts p = value.ToParts();
  const std::vector<PatternToken> tokens = TokenizePattern(pattern, info_);
  const bool twelve_hour = std::any_of(tokens.begin(), tokens.end(),
                                       [](const PatternToken& t) { return t.kind == PatternToken::kMarker; });
  Text out;
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    const PatternToken& t = tokens[k];
    switch (t.kind) {
      case PatternToken::kLiteral: out += t.text; break;
      case PatternToken::kDay: AppendNumber(out, p.day, t.length); break;
      case PatternToken::kDayName:
        out += t.length == 3 ? names_.short_days[p.day_of_week] : names_.days[p.day_of_week];
        break;
      case PatternToken::kShortDate: out += FormatPicture(p, info_.short_date, info_, names_); break;
      case PatternToken::kMonthOrMinute:
        AppendNumber(out, IsMinuteAt(tokens, k) ? p.minute : p.month, t.length);
        break;
      case PatternToken::kMonthName:
        out += t.length == 3 ? names_.short_months[p.month - 1] : names_.months[p.month - 1];
        break;
      case PatternToken::kYear2: AppendNumber(out, p.year % 100, 2); break;
      case PatternToken::kYear4: AppendNumber(out, p.year, 4); break;
      case PatternToken::kDayOfYear: AppendNumber(out, DayOfYear(p), 1); break;
      case PatternToken::kHour:
        AppendNumber(out, twelve_hour ? (p.hour % 12 == 0 ? 12 : p.hour % 12) : p.hour, t.length);
        break;
      case PatternToken::kMinute: AppendNumber(out, p.minute, t.length); break;
      case PatternToken::kSecond: AppendNumber(out, p.second, t.length); break;
      case PatternToken::kWeekday: AppendNumber(out, p.day_of_week + 1, 1); break;
      case PatternToken::kWeekOfYear: {
        // Sunday starts a week; the week of 1 January is the first.
        const int day_of_year = DayOfYear(p);
        const int jan1_weekday = ((p.day_of_week - (day_of_year - 1)) % 7 + 7) % 7;
        AppendNumber(out, (day_of_year - 1 + jan1_weekday) / 7 + 1, 1);
        break;
      }
      case PatternToken::kQuarter: AppendNumber(out, (p.month - 1) / 3 + 1, 1); break;
      case PatternToken::kDateSeparator: out += info_.date_separator; break;
      case PatternToken::kTimeSeparator: out += info_.time_separator; break;
      case PatternToken::kMarker: out += p.hour < 12 ? t.text : t.pm; break;
    }
  }
  return out;
}

int TableLocale::AnsiCode(char16_t ch) const {
  return info_.code_page == 932 ? Cp932Code(ch) : Cp1252Code(ch);
}

std::shared_ptr<const Locale> MakeLocale(LocaleInfo info) {
  return std::make_shared<const TableLocale>(std::move(info));
}

}  // namespace qorvel::platform
