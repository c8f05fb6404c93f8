// The Windows locale adapter under Wine: its conversions against the
// recorded vectors of en-US and en-GB (which came from Wine's own
// conversions, so every binding row must agree), the user's default
// locale, and ANSI codes. (Its settings are in every result of the call
// table that QORVEL.dll gives in tests/server/files_test.cc.)
#include <windows.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "check.h"
#include "platform/locale.h"
#include "platform/test_support.h"
#include "platform/windows/windows_locale.h"
#include "support/oracle_tsv.h"

namespace qorvel::platform {
namespace {

using qorvel::testing::OracleRow;
using qorvel::testing::PlatformOutcome;
using qorvel::testing::ReadOracle;
using namespace qorvel::wintest;

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

}  // namespace
}  // namespace qorvel::platform

int main() {
  using namespace qorvel::platform;
  using namespace qorvel::wintest;
  const std::vector<OracleRow> rows = ReadOracle(HostPath(std::string(QORVEL_SHARED_DIR) + "/oracle/oracle.tsv"));
  if (rows.empty()) {
    std::printf("SKIPPED: the shared test data was not found\n");
  } else {
    Group("conversions against the recorded binding rows");
    RowsMatch(rows, {{"VarDateFromStr", 58}, {"VarBstrFromDate", 16}, {"VarBstrFromR8", 14}, {"VarBstrFromCy", 12},
                     {"VarCyFromStr", 70}, {"VarR8FromStr", 70}, {"VarFormat", 28}});
  }
  // The project's vectors of &H/&O and #TRUE#/#FALSE# texts: Integer, Long
  // and Boolean go through the library's own reading of late-bound
  // arguments, the rest through the system's conversions.
  Group("&H, &O and #TRUE# texts against the recorded rows");
  RowsMatch(ReadOracle(HostPath(QORVEL_PLATFORM_DATA_DIR "/oracle_radix.tsv")),
            {{"VarI2FromStr", 246}, {"VarI4FromStr", 246}, {"VarR8FromStr", 246}, {"VarCyFromStr", 246},
             {"VarBoolFromStr", 246}, {"VarDateFromStr", 204}});

  Group("the user's locale, with the ANSI code page");
  CheckEq(PlatformDefaultLocale()->info().lcid, static_cast<unsigned>(GetUserDefaultLCID()), "lcid");
  CheckEq(PlatformDefaultLocale()->info().code_page, static_cast<unsigned>(GetACP()), "code page");

  Group("ANSI codes: one byte, a double-byte code page's two, '?' where the code page has none");
  const std::tuple<const char*, char16_t, int> codes[] = {{"en-US", u'A', 65},      {"en-US", u'\u20AC', 128},
                                                          {"en-US", u'\u3042', 63}, {"ja-JP", u'\u3042', 0x82A0},
                                                          {"ja-JP", u'\uFF71', 0xB1}};
  for (const auto& [name, ch, code] : codes) {
    CheckEq(FindLocale(name)->AnsiCode(ch), code, std::string(name) + " code of U+" + std::to_string(ch));
  }
  return Finish();
}
