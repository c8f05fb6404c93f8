// Reading the recorded conversion vectors (oracle.tsv): one row per line
// after the header, four tab-separated fields (locale, function, input,
// output), the escapes of its text fields and the values written in them,
// and what a platform locale gives for each row that binds the library. Header-only and free of
// GoogleTest, so that the Linux tests and the Windows test programs (built
// with mingw-w64) both read the file through it.
#ifndef QORVEL_TESTS_SUPPORT_ORACLE_TSV_H_
#define QORVEL_TESTS_SUPPORT_ORACLE_TSV_H_

#include <cstdio>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "jet/values.h"
#include "platform/locale.h"
#include "platform/variant_conversion.h"
#include "platform/test_support.h"
#include "qorvel/currency.h"
#include "qorvel/date_time.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"
#include "support/split_tabs.h"

namespace qorvel::testing {

struct OracleRow {
  int line = 0;  // in the file, for messages
  std::string locale;
  std::string function;
  std::string input;
  std::string output;
};

// The rows after the header line of the file at `path` (a line's final
// carriage return dropped; a row with fewer fields has empty ones). A file
// that cannot be read gives no rows.
inline std::vector<OracleRow> ReadOracle(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<OracleRow> rows;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1 || line.empty()) continue;  // header
    std::vector<std::string> fields = SplitTabs(line);
    fields.resize(4);
    rows.push_back({number, fields[0], fields[1], fields[2], fields[3]});
  }
  return rows;
}

// A field with the file's escapes undone (a doubled backslash is one
// backslash, backslash-u and four hex digits one UTF-16 code unit) and its
// surrounding double quotes removed. Precondition: the field is UTF-8.
inline Text Unescape(std::string_view field) {
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"') field = field.substr(1, field.size() - 2);
  Text out;
  std::string plain;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 1 < field.size() && field[i + 1] == '\\') {
      plain += '\\';
      ++i;
    } else if (field[i] == '\\' && i + 5 < field.size() && field[i + 1] == 'u') {
      out += FromUtf8(plain);
      plain.clear();
      out += static_cast<char16_t>(std::stoul(std::string(field.substr(i + 2, 4)), nullptr, 16));
      i += 5;
    } else {
      plain += field[i];
    }
  }
  return out + FromUtf8(plain);
}

// "40268 = 2010-03-31 00:00:00": the automation date and its reading.
inline std::string DateReading(DateTime date) {
  const DateTime::Parts p = date.ToParts();
  char buf[48];
  std::snprintf(buf, sizeof buf, " = %04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
  return Double17(date.value()) + buf;
}

// The text after `opener` up to the next ']' ("[40268]", "[CY 0.5000]").
inline std::string Bracketed(const std::string& field, std::string_view opener) {
  const std::size_t start = field.find(opener) + opener.size();
  return field.substr(start, field.find(']', start) - start);
}

// The VarFormat patterns the library uses: the letter groups dd, MM, mm,
// yyyy, hh, nn and ss between any other characters (named formats such as
// "Short Date", "ddddd" or "c" are not used).
inline bool IsLibraryPattern(const Text& pattern) {
  static const std::set<Text> kGroups = {u"dd", u"MM", u"mm", u"yyyy", u"hh", u"nn", u"ss"};
  Text group;
  for (char16_t c : pattern + u' ') {
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (letter) {
      group += c;
    } else if (!group.empty()) {
      if (!kGroups.count(group)) return false;
      group.clear();
    }
  }
  return true;
}

// What `locale` gives for a binding row of a conversion the library uses,
// written as the file writes results; nothing for the other rows (settings,
// conversions the library does not use, a VarBstrFromCy input that never
// became a Currency, a VarFormat row with a named format). A VarFormat row
// without its date label gives a text no row expects.
inline std::optional<std::string> PlatformOutcome(const platform::Locale& locale, const OracleRow& row) {
  const std::string& function = row.function;
  if (function == "VarDateFromStr") {
    const Text input = Unescape(row.input);
    return Outcome([&] { return DateReading(locale.TextToDate(input)); });
  }
  if (function == "VarBstrFromDate") {
    const double value = std::stod(Bracketed(row.input, "["));
    return Outcome([&] { return ToUtf8(locale.DateToText(DateTime(value))); });
  }
  if (function == "VarBstrFromR8") {
    return Outcome([&] { return ToUtf8(locale.DoubleToText(std::stod(row.input))); });
  }
  if (function == "VarBstrFromCy") {
    if (row.input.find("[CY ") == std::string::npos) return std::nullopt;
    const Currency value = Currency::FromRaw(*jet::ParseMoney(Bracketed(row.input, "[CY ")));  // "-0.0100"
    return Outcome([&] { return ToUtf8(locale.CurrencyToText(value)); });
  }
  if (function == "VarCyFromStr") {
    return Outcome([&] { return locale.TextToCurrency(Unescape(row.input)).ToFixedString(); });
  }
  if (function == "VarR8FromStr") {
    return Outcome([&] { return Double17(locale.TextToDouble(Unescape(row.input))); });
  }
  // Integer, Long and Boolean from text: the conversion late-bound arguments
  // go through (Booleans written as -1 and 0).
  if (function == "VarI2FromStr" || function == "VarI4FromStr" || function == "VarBoolFromStr") {
    const VarType type = function == "VarI2FromStr"   ? VarType::kInteger
                         : function == "VarI4FromStr" ? VarType::kLong
                                                      : VarType::kBoolean;
    return Outcome([&] {
      const Variant value = platform::ChangeType(Variant::FromText(Unescape(row.input)), type, locale);
      if (type == VarType::kInteger) return std::to_string(value.AsInteger());
      if (type == VarType::kLong) return std::to_string(value.AsLong());
      return std::string(value.AsBoolean() ? "-1" : "0");
    });
  }
  if (function == "VarFormat") {
    const Text pattern = Unescape(row.input.substr(row.input.find('"')));
    if (!IsLibraryPattern(pattern)) return std::nullopt;
    const std::optional<DateTime> date = jet::ParseIsoDateTime(std::string_view(row.input).substr(0, 19));
    if (!date) return "no date label: " + row.input;
    return Outcome([&] { return ToUtf8(locale.FormatDate(*date, pattern)); });
  }
  return std::nullopt;
}

}  // namespace qorvel::testing

#endif  // QORVEL_TESTS_SUPPORT_ORACLE_TSV_H_
