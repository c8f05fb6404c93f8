// The Windows locale adapter under Wine: its settings and conversions
// against the recorded vectors of en-US and en-GB (which came from Wine's
// own conversions, so every binding row must agree), the numeric test that
// it shares with the Linux adapter, locale names, and ANSI codes.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "check.h"
#include "platform/test_support.h"
#include "platform/locale.h"
#include "platform/windows/windows_locale.h"
#include "qorvel/automation_error.h"
#include "support/oracle_tsv.h"

namespace qorvel::platform {
namespace {

using qorvel::testing::Double17;
using qorvel::testing::OracleRow;
using qorvel::testing::Outcome;
using qorvel::testing::PlatformOutcome;
using qorvel::testing::ReadOracle;
using qorvel::testing::Unescape;
using namespace qorvel::wintest;

const char* const kOracleLocales[] = {"en-US", "en-GB"};

void SettingsMatchTheVectors(const std::vector<OracleRow>& rows) {
  Group("locale settings against the recorded GetLocaleInfoEx rows");
  for (const char* name : kOracleLocales) {
    const auto locale = FindLocale(name);
    if (!Check(locale != nullptr, std::string("FindLocale ") + name)) continue;
    const LocaleInfo& info = locale->info();
    const std::map<std::string, const Text*> fields = {
        {"LOCALE_SSHORTDATE", &info.short_date},  {"LOCALE_STIMEFORMAT", &info.long_time},
        {"LOCALE_SDATE", &info.date_separator},   {"LOCALE_STIME", &info.time_separator},
        {"LOCALE_SDECIMAL", &info.decimal},       {"LOCALE_STHOUSAND", &info.thousands},
        {"LOCALE_S1159", &info.am},               {"LOCALE_S2359", &info.pm},
        {"LOCALE_SNEGATIVESIGN", &info.negative_sign}, {"LOCALE_SPOSITIVESIGN", &info.positive_sign},
        {"LOCALE_SCURRENCY", &info.currency},     {"LOCALE_SMONDECIMALSEP", &info.money_decimal},
        {"LOCALE_SMONTHOUSANDSEP", &info.money_thousands}};
    int compared = 0;
    for (const OracleRow& row : rows) {
      if (row.locale != name || row.function != "GetLocaleInfoEx") continue;
      const std::string what = std::string(name) + " " + row.input;
      if (row.input == "LOCALE_SNAME") {
        CheckEq(info.name, ToUtf8(Unescape(row.output)), what);
      } else if (row.input == "LOCALE_IDATE") {
        CheckEq(info.date_order, std::stoi(row.output), what);
      } else if (const auto field = fields.find(row.input); field != fields.end()) {
        CheckEq(*field->second, Unescape(row.output), what);
      } else {
        continue;
      }
      ++compared;
    }
    CheckEq(compared, 15, std::string(name) + " settings compared");
  }
}

// Checks every binding row of the tested locales; the rows checked per
// function.
std::map<std::string, int> CheckRows(const std::vector<OracleRow>& rows) {
  std::map<std::string, std::shared_ptr<const Locale>> locales;
  for (const char* name : kOracleLocales) locales[name] = FindLocale(name);
  std::map<std::string, int> checked;
  for (const OracleRow& row : rows) {
    const auto found = locales.find(row.locale);
    if (found == locales.end() || found->second == nullptr) continue;
    const std::optional<std::string> actual = PlatformOutcome(*found->second, row);
    if (!actual) continue;
    ++checked[row.function];
    CheckEq(*actual, row.output, row.locale + " " + row.function + " " + row.input + " (line " +
                                     std::to_string(row.line) + ")");
  }
  return checked;
}

void BindingRowsMatch(const std::vector<OracleRow>& rows) {
  Group("conversions against the recorded binding rows");
  std::map<std::string, int> checked = CheckRows(rows);
  // Every binding row of the two locales was reached.
  const std::pair<const char*, int> expected[] = {{"VarDateFromStr", 58}, {"VarBstrFromDate", 16},
                                                  {"VarBstrFromR8", 14},  {"VarBstrFromCy", 12},
                                                  {"VarCyFromStr", 70},   {"VarR8FromStr", 70},
                                                  {"VarFormat", 28}};
  for (const auto& [function, rows_of_it] : expected) CheckEq(checked[function], rows_of_it, std::string(function) + " rows");
}

// The project's vectors of &H/&O and #TRUE#/#FALSE# texts: Integer, Long
// and Boolean go through the library's own reading of late-bound
// arguments, the rest through the system's conversions.
void RadixRowsMatch(const std::vector<OracleRow>& rows) {
  Group("&H, &O and #TRUE# texts against the recorded rows");
  std::map<std::string, int> checked = CheckRows(rows);
  for (const char* function : {"VarI2FromStr", "VarI4FromStr", "VarR8FromStr", "VarCyFromStr", "VarBoolFromStr"}) {
    CheckEq(checked[function], 246, std::string(function) + " rows");
  }
  CheckEq(checked["VarDateFromStr"], 204, "VarDateFromStr rows");
}

// The numeric test is the shared scanner's, fed with the locale's
// separators: the same answers as the Linux adapter gives.
void NumericTest() {
  Group("numeric test");
  struct Case {
    const char* locale;
    Text text;
    bool numeric;
  };
  const Case cases[] = {
      {"en-US", u"123456789", true},  {"en-US", u"  -1,234.5  ", true}, {"en-US", u"+12", true},
      {"en-US", u"1.5E+3", true},     {"en-US", u"", false},            {"en-US", u"   ", false},
      {"en-US", u"12-", false},       {"en-US", u"(12)", false},        {"en-US", u"$12", false},
      {"en-US", u"1.2.3", false},     {"en-US", u"12 34", false},       {"en-US", u"123-45-6789", false},
      {"en-US", u"1E400", false},     {"en-US", u"ABCDEFGHI", false},   {"en-US", u"12e", false},
      {"de-DE", u"1.234,5", true},    {"de-DE", u"1,2,3", false},     {"en-GB", u"\u00A312", false},
      {"en-US", u"&H10", false},      {"en-US", u"&O17", false},
  };
  for (const Case& c : cases) {
    const auto locale = FindLocale(c.locale);
    if (!Check(locale != nullptr, std::string("FindLocale ") + c.locale)) continue;
    CheckEq(locale->IsNumeric(c.text), c.numeric, std::string(c.locale) + " " + Show(c.text));
  }
}

void LocaleNamesAndCodes() {
  Group("locale names");
  struct Name {
    const char* name;
    unsigned lcid;  // 0: no such locale
  };
  const Name names[] = {{"en-US", 0x0409}, {"en_GB.UTF-8", 0x0809}, {"de_DE", 0x0407},
                        {"ja-JP", 0x0411}, {"xx-QQ", 0},            {"", 0}};
  for (const Name& n : names) {
    const auto locale = FindLocale(n.name);
    CheckEq(locale ? locale->info().lcid : 0U, n.lcid, std::string("FindLocale ") + Show(n.name));
  }
  CheckEq(LocaleNames().size(), std::size_t{8}, "LocaleNames count");
  for (const std::string& name : LocaleNames()) {
    const auto locale = FindLocale(name);
    Check(locale != nullptr && locale->info().name == name, "listed locale " + name + " is found by its name");
  }
  const auto fallback = PlatformDefaultLocale();
  CheckEq(fallback->info().lcid, static_cast<unsigned>(GetUserDefaultLCID()), "default locale is the user's");
  CheckEq(fallback->info().code_page, static_cast<unsigned>(GetACP()), "default locale has the ANSI code page");

  Group("ANSI codes");
  struct Code {
    const char* locale;
    char16_t ch;
    int code;
  };
  const Code codes[] = {{"en-US", u'A', 65},     {"en-US", u'\u20AC', 128}, {"en-US", u'\u00E9', 233},
                        {"en-US", u'\u3042', 63}, {"ja-JP", u'A', 65},       {"ja-JP", u'\u3042', 0x82A0},
                        {"ja-JP", u'\uFF71', 0xB1}};
  for (const Code& c : codes) {
    const auto locale = FindLocale(c.locale);
    if (!Check(locale != nullptr, std::string("FindLocale ") + c.locale)) continue;
    CheckEq(locale->AnsiCode(c.ch), c.code, std::string(c.locale) + " code of U+" + std::to_string(c.ch));
  }

  Group("failures raise the automation numbers");
  const auto us = FindLocale("en-US");
  CheckEq(Outcome([&] { return Double17(us->TextToDouble(u"abc")); }), std::string("ERR:0x80020005"),
          "text to double, not a number");
  CheckEq(Outcome([&] { return us->TextToCurrency(u"1E30").ToFixedString(); }), std::string("ERR:0x8002000A"),
          "text to Currency, too big");
  CheckEq(Outcome([&] { return ToUtf8(us->DateToText(DateTime(1e10))); }), std::string("ERR:0x8002000A"),
          "date beyond the range");
  CheckEq(Outcome([&] { return ToUtf8(us->FormatDate(DateTime(-1e10), u"dd/MM/yyyy")); }),
          std::string("ERR:0x8002000A"), "pattern on a date beyond the range");
}

}  // namespace
}  // namespace qorvel::platform

int main() {
  using namespace qorvel::platform;
  const std::string oracle = HostPath(std::string(QORVEL_SHARED_DIR) + "/oracle/oracle.tsv");
  const std::vector<OracleRow> rows = ReadOracle(oracle);
  if (rows.empty()) {
    qorvel::wintest::Group("recorded vectors");
    qorvel::wintest::Skip("shared test data not found: " + oracle);
  } else {
    SettingsMatchTheVectors(rows);
    BindingRowsMatch(rows);
  }
  RadixRowsMatch(ReadOracle(HostPath(QORVEL_PLATFORM_DATA_DIR "/oracle_radix.tsv")));
  NumericTest();
  LocaleNamesAndCodes();
  return qorvel::wintest::Finish();
}
