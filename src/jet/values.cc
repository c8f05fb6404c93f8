// Exact readers of decimal, money, date and GUID text.
#include "jet/values.h"

#include <cctype>
#include <cstdio>
#include <limits>

namespace qorvel::jet {
namespace {

std::string_view TrimSpacesAndTabs(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Multiplies the 96-bit magnitude (hi:lo) by 10 and adds `digit`; false on
// overflow. Works in 32-bit limbs.
bool MulAdd(std::uint32_t& hi, std::uint64_t& lo, unsigned digit) {
  std::uint64_t l0 = (lo & 0xffffffffu) * 10 + digit;
  std::uint64_t l1 = (lo >> 32) * 10 + (l0 >> 32);
  const std::uint64_t h = static_cast<std::uint64_t>(hi) * 10 + (l1 >> 32);
  if ((h >> 32) != 0) return false;
  l0 &= 0xffffffffu;
  l1 &= 0xffffffffu;
  hi = static_cast<std::uint32_t>(h);
  lo = (l1 << 32) | l0;
  return true;
}

// Reads exactly `count` digits at `pos` as a number.
bool ReadNumber(std::string_view text, std::size_t& pos, std::size_t count, int& value) {
  if (pos + count > text.size()) return false;
  value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char c = text[pos + i];
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  pos += count;
  return true;
}

// The civil date of a count of days since 1 January of year 1, in the
// proleptic Gregorian calendar (days counted in 400-year eras of 146097
// days, years starting on 1 March so that the leap day ends a year).
void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  const std::int64_t z = days + 306;  // days since 1 March of year 0
  const std::int64_t era = z / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// Reads ASCII digits; false for anything else or a value of more than 18
// digits (which no count of days or ticks here needs).
bool ReadDigits(std::span<const std::uint8_t> bytes, std::int64_t& value) {
  constexpr std::int64_t kMost = 999999999999999999;
  value = 0;
  for (const std::uint8_t b : bytes) {
    if (b < '0' || b > '9' || value > kMost / 10) return false;
    value = value * 10 + (b - '0');
  }
  return true;
}

constexpr std::int64_t kLastExtendedDay = 3652058;  // 31 December 9999
constexpr std::int64_t kTicksPerDay = 864000000000;

}  // namespace

std::optional<std::string> ExtendedDateTimeText(std::span<const std::uint8_t, kExtendedDateTimeSize> stored) {
  std::int64_t days = 0;
  std::int64_t ticks = 0;
  if (!ReadDigits(stored.subspan(0, 19), days) || stored[19] != ':' ||
      !ReadDigits(stored.subspan(20, 19), ticks) || stored[39] != ':' || stored[40] < '0' ||
      stored[40] > '7' || days > kLastExtendedDay || ticks >= kTicksPerDay) {
    return std::nullopt;
  }
  int year = 0;
  int month = 0;
  int day = 0;
  CivilFromDays(days, year, month, day);
  const std::int64_t seconds = ticks / 10000000;
  char buffer[96];  // room for any int in each field, as the compiler counts
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%07lld", year, month, day,
                static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60),
                static_cast<long long>(ticks % 10000000));
  return std::string(buffer);
}

bool IsExtendedDateTimeText(std::string_view text) {
  // yyyy-mm-dd hh:mm:ss.fffffff
  static constexpr std::string_view kShape = "0000-00-00 00:00:00.0000000";
  if (text.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (kShape[i] == '0' ? !IsDigit(text[i]) : text[i] != kShape[i]) return false;
  }
  const auto number = [&](std::size_t at, std::size_t count) {
    int value = 0;
    ReadNumber(text, at, count, value);
    return value;
  };
  const int year = number(0, 4);
  const int month = number(5, 2);
  const int day = number(8, 2);
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 &&
         day <= (month == 2 && !leap ? 28 : kDays[month - 1]) && number(11, 2) < 24 && number(14, 2) < 60 &&
         number(17, 2) < 60;
}

std::optional<Decimal> ParseDecimal(std::string_view text) {
  text = TrimSpacesAndTabs(text);
  Decimal value;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    value.negative = text[i] == '-';
    ++i;
  }
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (!IsDigit(c)) return std::nullopt;
    digits = true;
    if (point) {
      if (value.scale == 28) return std::nullopt;
      ++value.scale;
    }
    if (!MulAdd(value.hi, value.lo, static_cast<unsigned>(c - '0'))) return std::nullopt;
  }
  if (!digits) return std::nullopt;
  if (value.hi == 0 && value.lo == 0) value.negative = false;
  return value;
}

std::optional<std::int64_t> ParseMoney(std::string_view text) {
  text = TrimSpacesAndTabs(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1;
  std::uint64_t raw = 0;  // ten-thousandths, at most kLimit
  bool digits = false;
  auto push = [&](int digit) {
    if (raw > (kLimit - static_cast<std::uint64_t>(digit)) / 10) return false;
    raw = raw * 10 + static_cast<std::uint64_t>(digit);
    return true;
  };
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    digits = true;
    if (!push(text[i] - '0')) return std::nullopt;
  }
  int decimals = 0;
  int first_dropped = -1;  // the fifth decimal, deciding the rounding
  bool more_dropped = false;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && IsDigit(text[i]); ++i) {
      digits = true;
      const int digit = text[i] - '0';
      if (decimals < 4) {
        if (!push(digit)) return std::nullopt;
        ++decimals;
      } else if (first_dropped < 0) {
        first_dropped = digit;
      } else if (digit != 0) {
        more_dropped = true;
      }
    }
  }
  if (!digits || i != text.size()) return std::nullopt;
  for (; decimals < 4; ++decimals) {
    if (!push(0)) return std::nullopt;
  }
  if (first_dropped > 5 || (first_dropped == 5 && (more_dropped || (raw & 1) != 0))) {
    if (raw >= kLimit) return std::nullopt;
    ++raw;
  }
  if (negative) {
    if (raw == kLimit) return std::numeric_limits<std::int64_t>::min();
    return -static_cast<std::int64_t>(raw);
  }
  if (raw == kLimit) return std::nullopt;
  return static_cast<std::int64_t>(raw);
}

std::optional<DateTime> ParseIsoDateTime(std::string_view text) {
  text = TrimSpacesAndTabs(text);
  std::size_t pos = 0;
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (!ReadNumber(text, pos, 4, year) || pos >= text.size() || text[pos++] != '-') return std::nullopt;
  if (!ReadNumber(text, pos, 2, month) || pos >= text.size() || text[pos++] != '-') return std::nullopt;
  if (!ReadNumber(text, pos, 2, day)) return std::nullopt;
  if (pos < text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
    ++pos;
    if (!ReadNumber(text, pos, 2, hour) || pos >= text.size() || text[pos++] != ':') return std::nullopt;
    if (!ReadNumber(text, pos, 2, minute)) return std::nullopt;
    if (pos < text.size()) {
      if (text[pos++] != ':' || !ReadNumber(text, pos, 2, second)) return std::nullopt;
      if (pos < text.size()) {
        if (text[pos++] != '.') return std::nullopt;
        if (pos >= text.size()) return std::nullopt;
        for (; pos < text.size(); ++pos) {
          if (!IsDigit(text[pos])) return std::nullopt;
        }
      }
    }
  }
  return DateTime::FromParts(year, month, day, hour, minute, second);
}

std::optional<DateTime> ParseIsoDateTime(TextView text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (const char16_t unit : text) {
    if (unit >= 0x80) return std::nullopt;
    narrow.push_back(static_cast<char>(unit));
  }
  return ParseIsoDateTime(std::string_view(narrow));
}

std::optional<std::string> NormalizeGuid(std::string_view text) {
  text = TrimSpacesAndTabs(text);
  if (text.size() >= 2 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, text.size() - 2);
  }
  std::string digits;
  std::size_t groups[5] = {0, 0, 0, 0, 0};
  std::size_t group = 0;
  for (const char c : text) {
    if (c == '-') {
      if (++group > 4) return std::nullopt;
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    digits.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    ++groups[group];
  }
  if (digits.size() != 32) return std::nullopt;
  if (group != 0 && !(group == 4 && groups[0] == 8 && groups[1] == 4 && groups[2] == 4 &&
                      groups[3] == 4 && groups[4] == 12)) {
    return std::nullopt;
  }
  return "{" + digits.substr(0, 8) + "-" + digits.substr(8, 4) + "-" + digits.substr(12, 4) + "-" +
         digits.substr(16, 4) + "-" + digits.substr(20) + "}";
}

}  // namespace qorvel::jet
