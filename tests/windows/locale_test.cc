// The Windows locale adapter under Wine: its settings and conversions
// against the recorded vectors of en-US and en-GB (which came from Wine's
// own conversions, so every binding row must agree), the numeric test that
// it shares with the Linux adapter, locale names, and ANSI codes.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "check.h"
#include "platform/locale.h"
#include "platform/test_support.h"
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
    const LocaleInfo& i = locale->info();
    const std::map<std::string, Text> fields = {
        {"LOCALE_SSHORTDATE", i.short_date},    {"LOCALE_STIMEFORMAT", i.long_time},     {"LOCALE_SDATE", i.date_separator},
        {"LOCALE_STIME", i.time_separator},     {"LOCALE_SDECIMAL", i.decimal},          {"LOCALE_STHOUSAND", i.thousands},
        {"LOCALE_S1159", i.am},                 {"LOCALE_S2359", i.pm},                  {"LOCALE_SNEGATIVESIGN", i.negative_sign},
        {"LOCALE_SPOSITIVESIGN", i.positive_sign}, {"LOCALE_SCURRENCY", i.currency},     {"LOCALE_SMONDECIMALSEP", i.money_decimal},
        {"LOCALE_SMONTHOUSANDSEP", i.money_thousands}, {"LOCALE_SNAME", FromUtf8(i.name)},
        {"LOCALE_IDATE", FromUtf8(std::to_string(i.date_order))}};
    int compared = 0;
    for (const OracleRow& row : rows) {
      const auto field = fields.find(row.input);
      if (row.locale != name || row.function != "GetLocaleInfoEx" || field == fields.end()) continue;
      CheckEq(field->second, Unescape(row.output), std::string(name) + " " + row.input);
      ++compared;
    }
    CheckEq(compared, 15, std::string(name) + " settings compared");
  }
}

// Checks every binding row of the tested locales, and that each function
// had the expected number of rows.
void RowsMatch(const std::vector<OracleRow>& rows, const std::map<std::string, int>& expected) {
  std::map<std::string, int> checked;
  for (const OracleRow& row : rows) {
    const auto locale = row.locale == "en-US" || row.locale == "en-GB" ? FindLocale(row.locale) : nullptr;
    const std::optional<std::string> actual = locale ? PlatformOutcome(*locale, row) : std::nullopt;
    if (!actual) continue;
    ++checked[row.function];
    CheckEq(*actual, row.output, row.locale + " " + row.function + " " + row.input + " (line " + std::to_string(row.line) + ")");
  }
  for (const auto& [function, count] : expected) CheckEq(checked[function], count, function + " rows");
}

// The numeric test is the shared scanner's, fed with the locale's
// separators; names, the user's default, ANSI codes; and the failures'
// automation numbers.
void LocaleOwnPieces() {
  Group("numeric test");
  const std::tuple<const char*, Text, bool> numeric[] = {
      {"en-US", u"  -1,234.5  ", true}, {"en-US", u"", false},   {"en-US", u"1E400", false}, {"en-US", u"&H10", false},
      {"de-DE", u"1.234,5", true},      {"de-DE", u"1,2,3", false}, {"en-GB", u"\u00A312", false}};
  for (const auto& [name, text, expected] : numeric) {
    CheckEq(FindLocale(name)->IsNumeric(text), expected, std::string(name) + " " + Show(text));
  }

  Group("locale names");
  const std::pair<const char*, unsigned> names[] = {
      {"en-US", 0x0409}, {"en_GB.UTF-8", 0x0809}, {"ja-JP", 0x0411}, {"xx-QQ", 0}, {"", 0}};
  for (const auto& [name, lcid] : names) {
    const auto locale = FindLocale(name);
    CheckEq(locale ? locale->info().lcid : 0U, lcid, std::string("FindLocale ") + Show(std::string(name)));
  }
  CheckEq(LocaleNames().size(), std::size_t{8}, "LocaleNames count");
  for (const std::string& name : LocaleNames()) {
    const auto locale = FindLocale(name);
    Check(locale != nullptr && locale->info().name == name, "listed locale " + name + " is found by its name");
  }
  CheckEq(PlatformDefaultLocale()->info().lcid, static_cast<unsigned>(GetUserDefaultLCID()), "default locale is the user's");
  CheckEq(PlatformDefaultLocale()->info().code_page, static_cast<unsigned>(GetACP()), "with the ANSI code page");

  Group("ANSI codes");
  const std::tuple<const char*, char16_t, int> codes[] = {{"en-US", u'A', 65},       {"en-US", u'\u20AC', 128},
                                                          {"en-US", u'\u3042', 63},  {"ja-JP", u'\u3042', 0x82A0},
                                                          {"ja-JP", u'\uFF71', 0xB1}};
  for (const auto& [name, ch, code] : codes) {
    CheckEq(FindLocale(name)->AnsiCode(ch), code, std::string(name) + " code of U+" + std::to_string(ch));
  }

  Group("failures raise the automation numbers");
  const auto us = FindLocale("en-US");
  const std::pair<std::function<std::string()>, const char*> failures[] = {
      {[&] { return Double17(us->TextToDouble(u"abc")); }, "ERR:0x80020005"},
      {[&] { return us->TextToCurrency(u"1E30").ToFixedString(); }, "ERR:0x8002000A"},
      {[&] { return ToUtf8(us->DateToText(DateTime(1e10))); }, "ERR:0x8002000A"},
      {[&] { return ToUtf8(us->FormatDate(DateTime(-1e10), u"dd/MM/yyyy")); }, "ERR:0x8002000A"}};
  for (const auto& [conversion, expected] : failures) CheckEq(Outcome(conversion), std::string(expected), expected);
}

}  // namespace
}  // namespace qorvel::platform

int main() {
  using namespace qorvel::platform;
  const std::vector<OracleRow> rows = ReadOracle(HostPath(std::string(QORVEL_SHARED_DIR) + "/oracle/oracle.tsv"));
  if (rows.empty()) {
    std::printf("SKIPPED: the shared test data was not found\n");
  } else {
    SettingsMatchTheVectors(rows);
    qorvel::wintest::Group("conversions against the recorded binding rows");
    RowsMatch(rows, {{"VarDateFromStr", 58}, {"VarBstrFromDate", 16}, {"VarBstrFromR8", 14}, {"VarBstrFromCy", 12},
                     {"VarCyFromStr", 70}, {"VarR8FromStr", 70}, {"VarFormat", 28}});
  }
  // The project's vectors of &H/&O and #TRUE#/#FALSE# texts: Integer, Long
  // and Boolean go through the library's own reading of late-bound
  // arguments, the rest through the system's conversions.
  qorvel::wintest::Group("&H, &O and #TRUE# texts against the recorded rows");
  RowsMatch(ReadOracle(HostPath(QORVEL_PLATFORM_DATA_DIR "/oracle_radix.tsv")),
            {{"VarI2FromStr", 246}, {"VarI4FromStr", 246}, {"VarR8FromStr", 246}, {"VarCyFromStr", 246},
             {"VarBoolFromStr", 246}, {"VarDateFromStr", 204}});
  LocaleOwnPieces();
  return qorvel::wintest::Finish();
}
