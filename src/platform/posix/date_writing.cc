// Writing a date under a locale's settings: pictures and patterns.
#include "platform/posix/date_writing.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <vector>

#include "platform/number_text.h"
#include "qorvel/automation_error.h"

namespace qorvel::platform {
namespace {

using scan::Fold;
using scan::MatchFoldedAt;

void AppendNumber(Text& out, long long value, int min_digits) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  for (int pad = min_digits - static_cast<int>(result.ptr - buf); pad > 0; --pad) out += u'0';
  for (const char* p = buf; p != result.ptr; ++p) out += static_cast<char16_t>(*p);
}

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

}  // namespace

Text WriteDate(DateTime value, const LocaleInfo& info, const CalendarNames& names) {
  if (!value.IsValid()) RaiseOverflow();
  const DateTime::Parts p = value.ToParts();
  const bool has_date = value.DayNumber() != 0;
  const bool has_time = p.hour != 0 || p.minute != 0 || p.second != 0;
  Text out;
  if (has_date) out = FormatPicture(p, info.short_date, info, names);
  if (has_time || !has_date) {
    if (has_date) out += u' ';
    out += FormatPicture(p, info.long_time, info, names);
  }
  return out;
}

Text FormatDatePattern(DateTime value, TextView pattern, const LocaleInfo& info, const CalendarNames& names) {
  if (!value.IsValid()) RaiseOverflow();
  const DateTime::Parts p = value.ToParts();
  const std::vector<PatternToken> tokens = TokenizePattern(pattern, info);
  const bool twelve_hour = std::any_of(tokens.begin(), tokens.end(),
                                       [](const PatternToken& t) { return t.kind == PatternToken::kMarker; });
  Text out;
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    const PatternToken& t = tokens[k];
    switch (t.kind) {
      case PatternToken::kLiteral: out += t.text; break;
      case PatternToken::kDay: AppendNumber(out, p.day, t.length); break;
      case PatternToken::kDayName:
        out += t.length == 3 ? names.short_days[p.day_of_week] : names.days[p.day_of_week];
        break;
      case PatternToken::kShortDate: out += FormatPicture(p, info.short_date, info, names); break;
      case PatternToken::kMonthOrMinute:
        AppendNumber(out, IsMinuteAt(tokens, k) ? p.minute : p.month, t.length);
        break;
      case PatternToken::kMonthName:
        out += t.length == 3 ? names.short_months[p.month - 1] : names.months[p.month - 1];
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
      case PatternToken::kDateSeparator: out += info.date_separator; break;
      case PatternToken::kTimeSeparator: out += info.time_separator; break;
      case PatternToken::kMarker: out += p.hour < 12 ? t.text : t.pm; break;
    }
  }
  return out;
}

}  // namespace qorvel::platform
