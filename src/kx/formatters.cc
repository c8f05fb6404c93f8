// The display formatters: each function is the steps of its KX method.
//
// The leading value of FormatZip is read here rather than by the locale's
// text-to-number conversion, because it differs from it on purpose: it skips
// blanks inside the number, stops at the first character that does not fit
// instead of failing, and always takes '.' as the decimal point.
#include "kx/formatters.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <string>
#include <system_error>

#include "modmain/mod_main.h"
#include "platform/locale.h"
#include "qorvel/automation_error.h"
#include "qorvel/variant.h"

namespace qorvel::kx {
namespace {

// Characters `count` code units from `start`, or fewer where the text ends;
// empty when `start` lies beyond the end.
Text Mid(const Text& text, std::size_t start, std::size_t count = Text::npos) {
  if (start >= text.size()) return Text();
  return text.substr(start, count);
}

// The text of a name or address part: NullToString with Null as "".
Text PartText(const Text& part) { return modmain::NullToString(Variant::FromText(part), kFalse); }

// Walks a text for LeadingValue, passing over the characters that the
// leading value ignores wherever they stand.
class ValueReader {
 public:
  explicit ValueReader(TextView text) : text_(text) {}

  // The next character that counts, or U+0000 at the end (a U+0000 in the
  // text fits nowhere either, so the two need not be told apart).
  char16_t Peek() {
    while (pos_ < text_.size() && IsIgnored(text_[pos_])) ++pos_;
    return pos_ < text_.size() ? text_[pos_] : u'\0';
  }
  // Moves past the character Peek() returned. Precondition: not at the end.
  void Advance() {
    Peek();
    ++pos_;
  }

 private:
  static bool IsIgnored(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }

  TextView text_;
  std::size_t pos_ = 0;
};

int DigitIn(char16_t c, int radix) {
  int digit = -1;
  if (c >= u'0' && c <= u'9') digit = c - u'0';
  else if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
  else if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
  return digit < radix ? digit : -1;
}

bool IsDecimalDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The digits after &H or &O.
double RadixValue(ValueReader& reader, int radix) {
  double value = 0.0;
  for (int digit = DigitIn(reader.Peek(), radix); digit >= 0; digit = DigitIn(reader.Peek(), radix)) {
    value = value * radix + digit;
    if (std::isinf(value)) RaiseOverflow();
    reader.Advance();
  }
  return value;
}

// Exponents beyond this bound give the same outcome (overflow, or a value
// that is 0), so longer exponents are cut to it.
constexpr long long kExponentBound = 1'000'000'000;

// A decimal number: sign, digits with at most one '.', optional exponent.
double DecimalValue(ValueReader& reader) {
  bool negative = false;
  if (reader.Peek() == u'+' || reader.Peek() == u'-') {
    negative = reader.Peek() == u'-';
    reader.Advance();
  }
  // The mantissa in ASCII for from_chars, and the decimal exponent of its
  // first non-zero digit (to tell an overflow from an underflow).
  std::string number;
  bool point = false;
  bool any_digit = false;
  bool nonzero = false;
  long long magnitude = 0;
  long long fraction_position = 0;
  for (char16_t c = reader.Peek();; c = reader.Peek()) {
    if (IsDecimalDigit(c)) {
      any_digit = true;
      if (point) ++fraction_position;
      if (!nonzero && c != u'0') {
        nonzero = true;
        magnitude = point ? -fraction_position : 0;
      } else if (nonzero && !point) {
        ++magnitude;
      }
    } else if (c == u'.' && !point) {
      point = true;
    } else {
      break;
    }
    number.push_back(static_cast<char>(c));
    reader.Advance();
  }
  if (!any_digit) return 0.0;

  long long exponent = 0;
  if (reader.Peek() == u'E' || reader.Peek() == u'e') {
    ValueReader after = reader;  // the exponent counts only when digits follow
    after.Advance();
    bool exponent_negative = false;
    if (after.Peek() == u'+' || after.Peek() == u'-') {
      exponent_negative = after.Peek() == u'-';
      after.Advance();
    }
    if (IsDecimalDigit(after.Peek())) {
      for (char16_t c = after.Peek(); IsDecimalDigit(c); c = after.Peek()) {
        exponent = std::min(exponent * 10 + (c - u'0'), kExponentBound);
        after.Advance();
      }
      if (exponent_negative) exponent = -exponent;
      reader = after;
    }
  }
  if (!nonzero) return 0.0;

  number += 'e';
  number += std::to_string(exponent);
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), value, std::chars_format::general);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    if (magnitude + exponent >= 0) RaiseOverflow();
    value = 0.0;  // too small for a double
  } else if (error != std::errc() || std::isinf(value)) {
    RaiseOverflow();
  }
  return negative ? -value : value;
}

}  // namespace

Text FillPlaceholders(TextView pattern, TextView text) {
  std::size_t placeholders = 0;
  for (char16_t c : pattern) placeholders += c == u'@';
  std::size_t blanks = text.size() < placeholders ? placeholders - text.size() : 0;
  std::size_t next = 0;
  Text result;
  result.reserve(pattern.size());
  for (char16_t c : pattern) {
    if (c != u'@') {
      result += c;
    } else if (blanks > 0) {
      result += u' ';
      --blanks;
    } else {
      result += text[next++];
    }
  }
  return result;
}

Text FormatPhone(const Text& phone_format, const Text& phone) {
  if (!platform::UserLocale().IsNumeric(phone)) return phone;
  if (phone_format.empty()) return FillPlaceholders(kHousePhoneFormat, phone);

  // The caller's pattern and phone stay as passed: both are worked on as
  // copies, so calling again with the same variables gives the same text.
  Text pattern = phone_format;
  for (char16_t& c : pattern) {
    if (c == u'#') c = u'@';
  }
  Text filled = phone;
  filled.append(kPhoneFiller, u' ');
  // One placeholder per pattern character: the result has the pattern's
  // length, and what the placeholders leave of the phone is dropped.
  return FillPlaceholders(pattern, filled);
}

double LeadingValue(TextView text) {
  ValueReader reader(text);
  if (reader.Peek() == u'&') {
    ValueReader after = reader;
    after.Advance();
    const char16_t kind = after.Peek();
    if (kind == u'H' || kind == u'h' || kind == u'O' || kind == u'o') {
      after.Advance();
      return RadixValue(after, kind == u'H' || kind == u'h' ? 16 : 8);
    }
    return 0.0;
  }
  return DecimalValue(reader);
}

Text FormatZip(TextView zip) {
  const Text trimmed(TrimBlanks(zip));
  if (trimmed.size() == 9 && LeadingValue(trimmed) > 0) {
    return trimmed.substr(0, 5) + u"-" + trimmed.substr(5, 4);
  }
  return trimmed;
}

Text FormatSS(TextView ss_number) {
  Text number(TrimBlanks(ss_number));
  if (number.size() != 9) return number;
  number = modmain::DecryptSSN(number);
  // A decoded value may be longer than nine; everything after the fifth
  // code unit goes after the second hyphen.
  return Mid(number, 0, 3) + u"-" + Mid(number, 3, 2) + u"-" + Mid(number, 5);
}

Text FormatName(const Text& first, const Text& middle, const Text& last, Boolean fml) {
  const Text f = PartText(first);
  const Text m = PartText(middle);
  const Text l = PartText(last);
  Text name;
  // The middle name as it was passed: blanks count towards its length.
  const auto append_middle = [&] {
    if (m.size() == 1) {
      name += u" ";
      name += m;
      name += u".";
    } else if (m.size() > 1) {
      name += u" ";
      name += m;
    }
  };
  if (IsTrue(fml)) {
    name = f;
    append_middle();
    name += u" ";
    name += l;
    name = Text(TrimBlanks(name));
  } else {
    name = l;
    name += u", ";
    name += f;
    append_middle();
  }
  return name.empty() ? Text(u" ") : name;
}

namespace {

// The two address formatters differ only in the number of street lines.
Text JoinAddress(std::initializer_list<const Text*> streets, const Text& city_part,
                 const Text& state_part, const Text& zip_part, Boolean multi_line,
                 const ZipFormatter& format_zip) {
  const Text city = PartText(city_part);
  const Text state = PartText(state_part);
  const Text zip = PartText(zip_part);
  Text address;
  if (IsTrue(multi_line)) {
    for (const Text* street : streets) {
      const Text line = PartText(*street);
      if (line.empty()) continue;
      address += line;
      address += kCrLf;
    }
    if (!city.empty()) address += city;
    if (!state.empty()) {
      address += u", ";
      address += state;
    }
    if (!zip.empty()) {
      address += u" ";
      address += format_zip(zip);
    }
    return address;
  }

  const Text formatted_zip = format_zip(zip);
  for (const Text* street : streets) {
    address += PartText(*street);
    address += u" ";
  }
  address += city;
  if (!state.empty()) {
    address += u", ";
    address += state;
  }
  address += u"  ";
  address += formatted_zip;
  return Text(TrimBlanks(address));
}

}  // namespace

Text FormatAddress(const Text& address1, const Text& address2, const Text& city,
                   const Text& state, const Text& zip, Boolean multi_line,
                   const ZipFormatter& format_zip) {
  return JoinAddress({&address1, &address2}, city, state, zip, multi_line, format_zip);
}

Text FormatAddress2(const Text& address1, const Text& address2, const Text& address3,
                    const Text& city, const Text& state, const Text& zip, Boolean multi_line,
                    const ZipFormatter& format_zip) {
  return JoinAddress({&address1, &address2, &address3}, city, state, zip, multi_line,
                     format_zip);
}

Text FormatMinutes(Long minutes) {
  // In 64 bits, so that the hours of the lowest inputs times 60 still fit.
  // The double quotient is exact enough for every Long to round down to
  // the true whole number of hours.
  const auto hours = static_cast<std::int64_t>(std::floor(static_cast<double>(minutes) / 60.0));
  const std::int64_t rest = std::int64_t{minutes} - hours * 60;
  Text result = DecimalText(hours);
  result += u" hr ";
  if (rest < 10) result += u"0";
  result += DecimalText(rest);
  result += u" mn";
  return result;
}

}  // namespace qorvel::kx
