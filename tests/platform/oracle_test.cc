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
#include <set>
#include <string>
#include <string_view>
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
  std::map<std::string, Text> settings;
  LocaleInfo info;
  for (const OracleRow& row : rows) {
    if (row.locale != locale) continue;
    if (row.function == "GetLocaleInfoEx") settings[row.input] = Unescape(row.output);
    if (row.function == "GetACP") info.code_page = static_cast<unsigned>(std::stoul(row.output));
    if (row.function == "GetUserDefaultLCID") info.lcid = static_cast<unsigned>(std::stoul(row.output, nullptr, 16));
  }
  info.name = ToUtf8(settings["LOCALE_SNAME"]);
  info.short_date = settings["LOCALE_SSHORTDATE"];
  info.long_time = settings["LOCALE_STIMEFORMAT"];
  info.date_separator = settings["LOCALE_SDATE"];
  info.time_separator = settings["LOCALE_STIME"];
  info.decimal = settings["LOCALE_SDECIMAL"];
  info.thousands = settings["LOCALE_STHOUSAND"];
  info.am = settings["LOCALE_S1159"];
  info.pm = settings["LOCALE_S2359"];
  info.negative_sign = settings["LOCALE_SNEGATIVESIGN"];
  info.positive_sign = settings["LOCALE_SPOSITIVESIGN"];
  info.currency = settings["LOCALE_SCURRENCY"];
  info.money_decimal = settings["LOCALE_SMONDECIMALSEP"];
  info.money_thousands = settings["LOCALE_SMONTHOUSANDSEP"];
  info.date_order = std::stoi(ToUtf8(settings["LOCALE_IDATE"]));
  return info;
}

// Each recorded locale, built from its own recorded settings.
std::map<std::string, std::shared_ptr<const Locale>> RecordedLocales(const std::vector<OracleRow>& rows) {
  std::map<std::string, std::shared_ptr<const Locale>> locales;
  for (const std::string& name : OracleLocales(rows)) locales[name] = MakeLocale(InfoFromRows(rows, name));
  return locales;
}

// Whether a date text spells a month in a language other than English
// (reading such names is optional; this library reads the names of each
// table language, so those rows are checked too).
bool SpellsForeignMonth(const Text& input) {
  static const std::set<Text> kEnglish = {u"january", u"february", u"march", u"april", u"may", u"june",
                                          u"july", u"august", u"september", u"october", u"november",
                                          u"december", u"am", u"pm"};
  Text word;
  for (char16_t c : input + u' ') {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c >= 0xC0) {
      word += (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    } else if (!word.empty()) {
      if (!kEnglish.count(word)) return true;
      word.clear();
    }
  }
  return false;
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
    {"\"-0.00005\"", "0.0000"},
    {"\"0.00015\"", "0.0002"},
    {"\"-0.00015\"", "-0.0002"},
    {"\"0.00025\"", "0.0002"},
    {"\"-0.00025\"", "-0.0002"},
    {"\"0.00035\"", "0.0004"},
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
  int optional_rows = 0;
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
    if (function == "VarDateFromStr") optional_rows += SpellsForeignMonth(Unescape(row.input));
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
  EXPECT_EQ(optional_rows, 32);
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

// The locales whose short dates are the platform's print with them.
TEST(LocaleTable, PrintsThePlatformShortDates) {
  const std::pair<const char*, const char16_t*> cases[] = {
      {"de-DE", u"08.08.2011 10:15:00"}, {"it-IT", u"08/08/2011 10:15:00"}, {"ja-JP", u"2011/08/08 10:15:00"}};
  for (const auto& [name, printed] : cases) {
    EXPECT_EQ(FindLocale(name)->DateToText(*DateTime::FromParts(2011, 8, 8, 10, 15)), printed) << name;
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

struct Case {
  const char* locale;
  const char16_t* input;
  const char* expected;  // the outcome, "ERR:..." for an error
};

TEST(Conversions, TextToCurrencyIsExact) {
  constexpr Case kCases[] = {
      // (The ends of the range and the common forms are among the vectors.)
      {"en-US", u"922337203685477.58075", kOverflow},  // rounds up past the largest
      {"en-US", u"922337203685477.58065", "922337203685477.5806"}, {"en-US", u"1e15", kOverflow},
      {"en-US", u"1.23455", "1.2346"},  // halves to even
      {"en-US", u"0.000050001", "0.0001"}, {"en-US", u"2.5e-4", "0.0002"},
      {"en-US", u"0.1234500000000000000000001", "0.1235"},
      {"en-US", u"$-5", "-5.0000"}, {"en-US", u"5$", "5.0000"}, {"en-US", u"(-5)", kMismatch},
      {"en-US", u"-5-", kMismatch}, {"en-US", u"(5", kMismatch}, {"en-US", u"$$5", kMismatch},
      {"sv-SE", u"12 345,5 kr", "12345.5000"}, {"sv-SE", u"12 345,5 KR", "12345.5000"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Outcome([&] { return Get(c.locale).TextToCurrency(c.input).ToFixedString(); }), c.expected)
        << c.locale << " " << ToUtf8(c.input);
  }
}

TEST(Conversions, TextToDouble) {
  constexpr Case kCases[] = {
      {"en-US", u"1e400", kOverflow}, {"en-US", u"1e-400", "0"}, {"fr-FR", u"- 7", "-7"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Outcome([&] { return Double17(Get(c.locale).TextToDouble(c.input)); }), c.expected)
        << c.locale << " " << ToUtf8(c.input);
  }
}

TEST(Conversions, NumericTest) {
  struct NumericCase {
    const char* locale;
    const char16_t* input;
    bool numeric;
  };
  constexpr NumericCase kCases[] = {
      {"en-US", u" 123 ", true},   {"en-US", u"-1.5", true},    {"en-US", u"1,234", true},
      {"en-US", u"1.5E-3", true},  {"en-US", u".5", true},      {"en-US", u"5.", true},
      {"en-US", u"", false},       {"en-US", u"   ", false},    {"en-US", u"555-1234", false},
      {"en-US", u"(5)", false},    {"en-US", u"$5", false},     {"en-US", u"1.2.3", false},
      {"en-US", u"1 234", false},  {"en-US", u"1e", false},     {"en-US", u"5-", false},
      {"en-US", u"- 5", false},    {"en-US", u",5", false},     {"en-US", u"1e999", false},
      {"fr-FR", u"1\u00A0234,5", true}, {"fr-FR", u"1 234,5", false}, {"fr-FR", u"1.5", false},
      {"de-DE", u"1.234,5", true}, {"de-DE", u"12,5,5", false},
      // Base 16 and 8 texts convert to numbers but are not numeric here.
      {"en-US", u"&O17", false},   {"en-US", u" &h1F ", false},
  };
  for (const NumericCase& c : kCases) {
    EXPECT_EQ(Get(c.locale).IsNumeric(c.input), c.numeric) << c.locale << " \"" << ToUtf8(c.input) << "\"";
  }
}

TEST(Conversions, TextToDate) {
  constexpr Case kCases[] = {
      {"en-US", u"1/2/29", "2029-01-02T00:00:00"}, {"en-US", u"1/2/30", "1930-01-02T00:00:00"},
      {"en-US", u"25 DECEMBER 2010", "2010-12-25T00:00:00"}, {"en-US", u"Wednesday, March 31, 2010", "2010-03-31T00:00:00"},
      {"en-US", u"2/29/2012 2 pm", "2012-02-29T14:00:00"}, {"en-US", u"12:30 AM", "1899-12-30T00:30:00"},
      {"en-US", u"12/29/1899 6:00", "1899-12-29T06:00:00"}, {"en-GB", u"01/02/2011 10:15 pm", "2011-02-01T22:15:00"},
      {"sv-SE", u"11-3-1", "2011-03-01T00:00:00"}, {"nl-NL", u"1-3-2011 2:15 p.m.", "2011-03-01T14:15:00"},
      {"fr-FR", u"1 janv. 2011", "2011-01-01T00:00:00"}, {"ja-JP", u"2011\u5E743\u67081\u65E5", "2011-03-01T00:00:00"},
      {"ja-JP", u"\u5348\u5F8C 2:15", "1899-12-30T14:15:00"},
      {"en-US", u"3/1/2011 25:00", kMismatch}, {"en-US", u"10:15:30:45", kMismatch}, {"en-US", u"1/2/3/4", kMismatch},
      {"en-US", u"3//1/2011", kMismatch}, {"en-US", u"3/1/2011 PM", kMismatch}, {"en-US", u"1/1/10000", kMismatch},
      {"en-US", u"March", kMismatch}, {"en-US", u"2011-03-01T14:15", kMismatch}, {"en-US", u"   ", kMismatch},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Outcome([&] { return Get(c.locale).TextToDate(c.input).ToIsoString(); }), c.expected)
        << c.locale << " " << ToUtf8(c.input);
  }
  // Day and month alone are in the current year.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(Get("en-US").TextToDate(u"3/1"), *DateTime::FromParts(local.tm_year + 1900, 3, 1));
  EXPECT_EQ(Get("en-GB").TextToDate(u"3/1"), *DateTime::FromParts(local.tm_year + 1900, 1, 3));
}

TEST(Conversions, ValuesToText) {
  const Locale& us = Get("en-US");
  const Locale& de = Get("de-DE");
  EXPECT_EQ(us.DoubleToText(-0.0), u"0");
  EXPECT_EQ(us.DoubleToText(1e15), u"1E+15");
  EXPECT_EQ(us.DoubleToText(123456789012345.0), u"123456789012345");
  EXPECT_EQ(us.DoubleToText(0.00001), u"1E-05");
  EXPECT_EQ(de.DoubleToText(-1.0 / 3.0), u"-0,333333333333333");
  EXPECT_EQ(de.CurrencyToText(Currency::FromRaw(std::numeric_limits<std::int64_t>::min())),
            u"-922337203685477,5808");
  EXPECT_EQ(us.CurrencyToText(Currency::FromRaw(1)), u"0.0001");
  EXPECT_EQ(us.DateToText(DateTime(-0.5)), u"12:00:00 PM");
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
  struct PatternCase {
    const Locale* locale;
    const char16_t* pattern;
    const char16_t* expected;
  };
  const PatternCase kCases[] = {
      {&Get("en-US"), u"h:nn AM/PM", u"2:05 PM"},
      {&Get("en-US"), u"hh:mm:ss am/pm", u"02:05:09 pm"},
      {&Get("en-US"), u"h A/P", u"2 P"},
      {&Get("en-GB"), u"hh:mm AMPM", u"02:05 pm"},
      {&Get("en-US"), u"hh:mm mm:ss", u"14:05 05:09"},
      {&Get("en-US"), u"d/M/yy", u"8/8/11"},
      {&Get("en-US"), u"dddd, mmmm d", u"Monday, August 8"},
      {&Get("de-DE"), u"ddd d. mmm", u"Mo 8. Aug"},
      {&Get("en-US"), u"w ww q y", u"2 33 3 220"},
      {&Get("en-US"), u"\"at\" hh\\h", u"at 14h"},
      {&Get("de-DE"), u"ddddd", u"08.08.2011"},
      {dotted.get(), u"hh:nn", u"14.05"},
  };
  const DateTime date = *DateTime::FromParts(2011, 8, 8, 14, 5, 9);
  for (const PatternCase& c : kCases) {
    EXPECT_EQ(c.locale->FormatDate(date, c.pattern), c.expected) << ToUtf8(c.pattern);
  }
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
