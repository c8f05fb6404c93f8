// The conversions against the recorded vectors. For each recorded locale a
// locale is built from that locale's own recorded settings (MakeLocale), so
// the conversion logic is checked by every row; each binding row's result
// must match, apart from the known differences listed here. The shipped
// table is checked against the recorded settings too, and looked up by any
// form of a locale's name; and further cases beyond the vectors.
#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <iconv.h>

#include <gtest/gtest.h>

#include "platform/test_support.h"
#include "platform/locale.h"
#include "qorvel/automation_error.h"
#include "shared_dir.h"
#include "support/oracle_tsv.h"

namespace qorvel::platform {
namespace {

using ::qorvel::testing::Double17;
using ::qorvel::testing::OracleRow;
using ::qorvel::testing::Outcome;
using ::qorvel::testing::PlatformOutcome;
using ::qorvel::testing::Unescape;

// The rows after the header line.
std::vector<OracleRow> ReadOracle() {
  return ::qorvel::testing::ReadOracle(::qorvel::testing::SharedPath("oracle/oracle.tsv").string());
}

// The locale names in file order.
std::vector<std::string> OracleLocales(const std::vector<OracleRow>& rows) {
  std::vector<std::string> names;
  for (const OracleRow& row : rows) {
    if (std::find(names.begin(), names.end(), row.locale) == names.end()) names.push_back(row.locale);
  }
  return names;
}

// The settings that the locale's own GetLocaleInfoEx, GetACP and
// GetUserDefaultLCID rows give.
LocaleInfo InfoFromRows(const std::vector<OracleRow>& rows, const std::string& locale) {
  using I = LocaleInfo;
  const std::pair<const char*, Text I::*> kTexts[] = {
      {"SSHORTDATE", &I::short_date}, {"STIMEFORMAT", &I::long_time},    {"SDATE", &I::date_separator},
      {"STIME", &I::time_separator},  {"SDECIMAL", &I::decimal},         {"STHOUSAND", &I::thousands},
      {"S1159", &I::am},              {"S2359", &I::pm},                 {"SNEGATIVESIGN", &I::negative_sign},
      {"SPOSITIVESIGN", &I::positive_sign}, {"SCURRENCY", &I::currency}, {"SMONDECIMALSEP", &I::money_decimal},
      {"SMONTHOUSANDSEP", &I::money_thousands}};
  std::map<std::string, Text> settings;
  LocaleInfo info;
  for (const OracleRow& row : rows) {
    if (row.locale != locale) continue;
    if (row.function == "GetLocaleInfoEx") settings[row.input] = Unescape(row.output);
    if (row.function == "GetACP") info.code_page = static_cast<unsigned>(std::stoul(row.output));
    if (row.function == "GetUserDefaultLCID") info.lcid = static_cast<unsigned>(std::stoul(row.output, nullptr, 16));
  }
  for (const auto& [setting, member] : kTexts) info.*member = settings[std::string("LOCALE_") + setting];
  info.name = ToUtf8(settings["LOCALE_SNAME"]);
  info.date_order = std::stoi(ToUtf8(settings["LOCALE_IDATE"]));
  return info;
}

// Each recorded locale, built from its own recorded settings.
std::map<std::string, std::shared_ptr<const Locale>> RecordedLocales(const std::vector<OracleRow>& rows) {
  std::map<std::string, std::shared_ptr<const Locale>> locales;
  for (const std::string& name : OracleLocales(rows)) locales[name] = MakeLocale(InfoFromRows(rows, name));
  return locales;
}

// Known differences. The vectors convert text to Currency through a double
// and then round, so an exact half at the fifth decimal and the ends of the
// Currency range come out differently from the platform, which reads the
// decimal text exactly and rounds half to even at the fourth decimal. These
// inputs are read as numbers only in the locales whose decimal separator is
// '.'; elsewhere they are errors or whole numbers, alike on both sides.
constexpr const char* kPointLocales[] = {"en-US", "en-GB", "ja-JP"};
struct KnownDifference {
  const char* input;     // as the vectors write it
  const char* platform;  // the platform's value
};
constexpr KnownDifference kCurrencyFromText[] = {
    {"\"922337203685477.5807\"", "922337203685477.5807"},    // the largest Currency
    {"\"-922337203685477.5808\"", "-922337203685477.5808"},  // the smallest Currency
    {"\"0.00005\"", "0.0000"},                               // halves go to even
    {"\"-0.00005\"", "0.0000"}, {"\"0.00015\"", "0.0002"}, {"\"-0.00015\"", "-0.0002"}, {"\"0.00025\"", "0.0002"},
    {"\"-0.00025\"", "-0.0002"}, {"\"0.00035\"", "0.0004"},
};

const KnownDifference* FindKnownDifference(const OracleRow& row) {
  if (row.function != "VarCyFromStr") return nullptr;
  bool point_locale = false;
  for (const char* name : kPointLocales) point_locale |= row.locale == name;
  if (!point_locale) return nullptr;
  for (const KnownDifference& known : kCurrencyFromText) {
    if (row.input == known.input) return &known;
  }
  return nullptr;
}

TEST(OracleVectors, EveryBindingRowMatches) {
  QORVEL_REQUIRE_SHARED("oracle/oracle.tsv");
  const std::vector<OracleRow> rows = ReadOracle();
  const auto locales = RecordedLocales(rows);
  ASSERT_EQ(locales.size(), 8u);

  std::map<std::string, int> checked;  // binding rows per function
  int known_differences = 0;
  for (const OracleRow& row : rows) {
    const Locale& locale = *locales.at(row.locale);
    const std::string& function = row.function;
    if (function == "VarBstrFromCy" && row.input.find("[CY ") == std::string::npos) {
      // A double beyond the Currency range never became a Currency.
      EXPECT_THROW(Currency::FromDouble(std::stod(row.input)), AutomationError) << row.line;
      continue;
    }
    const std::optional<std::string> actual = PlatformOutcome(locale, row);
    if (!actual) continue;  // settings (consumed above) and what the library does not use
    std::string expected = row.output;
    if (function == "VarCyFromStr") {
      if (const KnownDifference* known = FindKnownDifference(row)) {
        EXPECT_NE(expected, known->platform) << "no longer a difference, line " << row.line;
        expected = known->platform;
        ++known_differences;
      }
    }
    ++checked[function];
    EXPECT_EQ(*actual, expected) << row.locale << " " << function << " " << row.input << " (line " << row.line
                                 << ")";
  }

  // Every binding row was reached: a classification that silently dropped
  // rows would show here.
  EXPECT_EQ(checked, (std::map<std::string, int>{{"VarDateFromStr", 232}, {"VarBstrFromDate", 64},
                                                  {"VarBstrFromR8", 56}, {"VarBstrFromCy", 48},
                                                  {"VarCyFromStr", 280}, {"VarR8FromStr", 280}, {"VarFormat", 112}}));
  EXPECT_EQ(known_differences, 27);
}

// Texts in base 16 and 8 ("&H10", "&O17") and "#TRUE#"/"#FALSE#" into every
// type the library converts text to (the project's own vectors, recorded by
// tools/oracle in its radix mode): each row must match,
// Integer, Long and Boolean through the late-bound arguments' conversion.
TEST(OracleVectors, RadixAndBooleanRowsMatch) {
  const std::vector<OracleRow> rows =
      ::qorvel::testing::ReadOracle(std::string(QORVEL_PLATFORM_DATA_DIR) + "/oracle_radix.tsv");
  const auto locales = RecordedLocales(rows);
  ASSERT_EQ(locales.size(), 8u);
  std::map<std::string, int> checked;
  std::map<std::string, int> overflows;
  for (const OracleRow& row : rows) {
    const std::optional<std::string> actual = PlatformOutcome(*locales.at(row.locale), row);
    if (!actual) continue;  // the settings
    ++checked[row.function];
    overflows[row.function] += row.output == "ERR:0x8002000A";
    EXPECT_EQ(*actual, row.output) << row.locale << " " << row.function << " " << row.input << " (line "
                                   << row.line << ")";
  }
  EXPECT_EQ(checked, (std::map<std::string, int>{{"VarI2FromStr", 984}, {"VarI4FromStr", 984}, {"VarR8FromStr", 984},
                                                  {"VarCyFromStr", 984}, {"VarBoolFromStr", 984},
                                                  {"VarDateFromStr", 816}}));
  // The overflow results are there to be matched, not only type mismatches.
  EXPECT_EQ(overflows["VarI2FromStr"], 8 * 23);
  EXPECT_GT(overflows["VarCyFromStr"], 0);
}

// The platform's short dates where the recorded settings have others.
const std::map<std::string, Text> kPlatformShortDates = {
    {"de-DE", u"dd.MM.yyyy"}, {"it-IT", u"dd/MM/yyyy"}, {"ja-JP", u"yyyy/MM/dd"}};

TEST(LocaleTable, HasThePlatformSettings) {
  QORVEL_REQUIRE_SHARED("oracle/oracle.tsv");
  const auto rows = ReadOracle();
  for (const std::string& name : OracleLocales(rows)) {
    SCOPED_TRACE(name);
    const auto locale = FindLocale(name);
    ASSERT_NE(locale, nullptr);
    LocaleInfo recorded = InfoFromRows(rows, name);
    const auto platform = kPlatformShortDates.find(name);
    if (platform != kPlatformShortDates.end()) recorded.short_date = platform->second;
    const auto fields = [](const LocaleInfo& i) {
      return std::tie(i.name, i.lcid, i.short_date, i.long_time, i.date_separator, i.time_separator, i.decimal,
                      i.thousands, i.am, i.pm, i.negative_sign, i.positive_sign, i.currency, i.money_decimal,
                      i.money_thousands, i.date_order, i.code_page);
    };
    EXPECT_EQ(fields(locale->info()), fields(recorded));
  }
}

TEST(LocaleTable, FindsLocalesByAnyFormOfTheirName) {
  EXPECT_EQ(LocaleNames().size(), 8u);
  EXPECT_EQ(LocaleNames().front(), "en-US");
  const auto german = FindLocale("de-DE");
  ASSERT_NE(german, nullptr);
  for (const char* name : {"de_DE", "de_DE.UTF-8", "DE-de", "de_DE@euro", "de_DE.ISO-8859-15@euro"}) {
    EXPECT_EQ(FindLocale(name), german) << name;
  }
  for (const char* name : {"", "de", "xx-YY", "C"}) EXPECT_EQ(FindLocale(name), nullptr) << name;
}

// Conversion cases beyond the recorded vectors, on the shipped table: the
// exact Currency reading at its edges, the numeric test, date reading and
// writing corners, date patterns, and the ANSI codes.

const Locale& Get(const char* name) { return *FindLocale(name); }

constexpr char kMismatch[] = "ERR:0x80020005";
constexpr char kOverflow[] = "ERR:0x8002000A";

// Text read as a Currency ('C', written with four decimals), a Double
// ('D'), a date ('T', in ISO form) and the numeric test ('N', "1" or "0").
std::string Read(char as, const Locale& locale, const char16_t* input) {
  switch (as) {
    case 'C': return locale.TextToCurrency(input).ToFixedString();
    case 'D': return Double17(locale.TextToDouble(input));
    case 'T': return locale.TextToDate(input).ToIsoString();
    default: return locale.IsNumeric(input) ? "1" : "0";
  }
}

TEST(Conversions, TextIsRead) {
  const struct {
    char as;
    const char* locale;
    const char16_t* input;
    const char* expected;  // the outcome, "ERR:..." for an error
  } kCases[] = {
      // Currency exactly (the ends of the range and the common forms are
      // among the vectors): past the largest after rounding, halves to even.
      {'C', "en-US", u"922337203685477.58075", kOverflow},
      {'C', "en-US", u"922337203685477.58065", "922337203685477.5806"}, {'C', "en-US", u"1e15", kOverflow},
      {'C', "en-US", u"1.23455", "1.2346"}, {'C', "en-US", u"0.000050001", "0.0001"},
      {'C', "en-US", u"2.5e-4", "0.0002"}, {'C', "en-US", u"0.1234500000000000000000001", "0.1235"},
      {'C', "en-US", u"$-5", "-5.0000"}, {'C', "en-US", u"5$", "5.0000"}, {'C', "en-US", u"(-5)", kMismatch},
      {'C', "en-US", u"-5-", kMismatch}, {'C', "en-US", u"(5", kMismatch}, {'C', "en-US", u"$$5", kMismatch},
      {'C', "sv-SE", u"12 345,5 kr", "12345.5000"},
      {'D', "en-US", u"1e400", kOverflow}, {'D', "en-US", u"1e-400", "0"}, {'D', "fr-FR", u"- 7", "-7"},
      // The numeric test.
      {'N', "en-US", u" 123 ", "1"}, {'N', "en-US", u"-1.5", "1"}, {'N', "en-US", u"1,234", "1"},
      {'N', "en-US", u"1.5E-3", "1"}, {'N', "en-US", u".5", "1"}, {'N', "en-US", u"5.", "1"},
      {'N', "en-US", u"", "0"}, {'N', "en-US", u"   ", "0"}, {'N', "en-US", u"555-1234", "0"},
      {'N', "en-US", u"1.2.3", "0"},
      {'N', "en-US", u"1 234", "0"}, {'N', "en-US", u"1e", "0"}, {'N', "en-US", u"5-", "0"},
      {'N', "en-US", u"- 5", "0"}, {'N', "en-US", u"1e999", "0"},
      {'N', "fr-FR", u"1\u00A0234,5", "1"},
      // Base 16 and 8 texts convert to numbers but are not numeric here.
      {'N', "en-US", u"&O17", "0"}, {'N', "en-US", u" &h1F ", "0"},
      // Dates: two-digit years, names, times alone, other separators.
      {'T', "en-US", u"1/2/29", "2029-01-02T00:00:00"}, {'T', "en-US", u"1/2/30", "1930-01-02T00:00:00"},
      {'T', "en-US", u"25 DECEMBER 2010", "2010-12-25T00:00:00"},
      {'T', "en-US", u"Wednesday, March 31, 2010", "2010-03-31T00:00:00"},
      {'T', "en-US", u"2/29/2012 2 pm", "2012-02-29T14:00:00"}, {'T', "en-US", u"12:30 AM", "1899-12-30T00:30:00"},
      {'T', "en-US", u"12/29/1899 6:00", "1899-12-29T06:00:00"},
      {'T', "en-GB", u"01/02/2011 10:15 pm", "2011-02-01T22:15:00"},
      {'T', "sv-SE", u"11-3-1", "2011-03-01T00:00:00"}, {'T', "nl-NL", u"1-3-2011 2:15 p.m.", "2011-03-01T14:15:00"},
      {'T', "fr-FR", u"1 janv. 2011", "2011-01-01T00:00:00"},
      {'T', "ja-JP", u"2011\u5E743\u67081\u65E5", "2011-03-01T00:00:00"},
      {'T', "ja-JP", u"\u5348\u5F8C 2:15", "1899-12-30T14:15:00"},
      {'T', "en-US", u"3/1/2011 25:00", kMismatch}, {'T', "en-US", u"10:15:30:45", kMismatch},
      {'T', "en-US", u"1/2/3/4", kMismatch}, {'T', "en-US", u"3//1/2011", kMismatch},
      {'T', "en-US", u"3/1/2011 PM", kMismatch}, {'T', "en-US", u"1/1/10000", kMismatch},
      {'T', "en-US", u"March", kMismatch}, {'T', "en-US", u"2011-03-01T14:15", kMismatch},
      {'T', "en-US", u"   ", kMismatch},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Outcome([&] { return Read(c.as, Get(c.locale), c.input); }), c.expected)
        << c.as << " " << c.locale << " \"" << ToUtf8(c.input) << "\"";
  }
  // Day and month alone are in the current year.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(Get("en-US").TextToDate(u"3/1"), *DateTime::FromParts(local.tm_year + 1900, 3, 1));
  EXPECT_EQ(Get("en-GB").TextToDate(u"3/1"), *DateTime::FromParts(local.tm_year + 1900, 1, 3));
}

// Beyond the vectors: where a Double's text turns to the exponent form, and
// values that are no date or number in range are an overflow, never a text.
TEST(Conversions, ValuesToText) {
  const Locale& us = Get("en-US");
  EXPECT_EQ(us.DoubleToText(1e15), u"1E+15");
  EXPECT_EQ(us.DoubleToText(123456789012345.0), u"123456789012345");
  EXPECT_EQ(us.DoubleToText(0.00001), u"1E-05");
  EXPECT_EQ(Get("de-DE").CurrencyToText(Currency::FromRaw(std::numeric_limits<std::int64_t>::min())),
            u"-922337203685477,5808");  // its magnitude is no int64_t
  for (const double bad : {std::nan(""), HUGE_VAL, 2958466.0, -657436.0}) {
    EXPECT_EQ(Outcome([&] { return ToUtf8(us.DateToText(DateTime(bad))); }), kOverflow) << bad;
    EXPECT_EQ(Outcome([&] { return ToUtf8(us.FormatDate(DateTime(bad), u"dd")); }), kOverflow) << bad;
  }
  EXPECT_EQ(Outcome([&] { return ToUtf8(us.DoubleToText(HUGE_VAL)); }), kOverflow);
}

TEST(Conversions, FormatDate) {
  LocaleInfo dotted_time = FindLocale("de-DE")->info();
  dotted_time.time_separator = Text(1, u'.');  // not "=" of a literal: a GCC 12 -Wrestrict false alarm
  const auto dotted = MakeLocale(dotted_time);
  const Locale *us = &Get("en-US"), *de = &Get("de-DE");
  const struct { const Locale* locale; const char16_t* pattern; const char16_t* expected; } kCases[] = {
      {us, u"h:nn AM/PM", u"2:05 PM"},         {us, u"hh:mm:ss am/pm", u"02:05:09 pm"},
      {us, u"h A/P", u"2 P"},                  {&Get("en-GB"), u"hh:mm AMPM", u"02:05 pm"},
      {us, u"hh:mm mm:ss", u"14:05 05:09"},    {us, u"d/M/yy", u"8/8/11"},
      {us, u"dddd, mmmm d", u"Monday, August 8"}, {de, u"ddd d. mmm", u"Mo 8. Aug"},
      {us, u"w ww q y", u"2 33 3 220"},        {us, u"\"at\" hh\\h", u"at 14h"},
      {de, u"ddddd", u"08.08.2011"},           {dotted.get(), u"hh:nn", u"14.05"},
  };
  const DateTime date = *DateTime::FromParts(2011, 8, 8, 14, 5, 9);
  for (const auto& c : kCases) EXPECT_EQ(c.locale->FormatDate(date, c.pattern), c.expected) << ToUtf8(c.pattern);
}

TEST(Conversions, AnsiCodes) {
  const Locale& western = Get("en-US");
  constexpr std::pair<char16_t, int> kWestern[] = {
      {u'A', 65},      {u'@', 64},       {u'\u00E9', 233}, {u'\u20AC', 128}, {u'\u0178', 159},
      {u'\u0081', 129}, {u'\u0080', 63}, {u'\u0100', 63},  {u'\u30A2', 63},
  };
  for (const auto& [ch, code] : kWestern) EXPECT_EQ(western.AnsiCode(ch), code) << int{ch};

  const Locale& japanese = Get("ja-JP");
  EXPECT_EQ(japanese.AnsiCode(u'A'), 65);
  EXPECT_EQ(japanese.AnsiCode(u'\uFF71'), 0xB1);  // half-width katakana A
  const iconv_t cd = iconv_open("CP932", "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1))) {
    GTEST_SKIP() << "the C library has no CP932 converter";
  }
  iconv_close(cd);
  EXPECT_EQ(japanese.AnsiCode(u'\u30A2'), 0x8341);  // katakana A
  EXPECT_EQ(japanese.AnsiCode(u'\u6F22'), 0x8ABF);
  EXPECT_EQ(japanese.AnsiCode(u'\u20AC'), 63);      // not in the code page
}

}  // namespace
}  // namespace qorvel::platform
