// Every table of a fixture file of the formats the billing files are not
// in loads into the mirror, and its values agree with what mdb-export
// (mdbtools) prints for the same cells: another tool's Jet 3 tables, and
// Binary columns in ACE. (Every Jet 4 type, exactly: TypesTest in
// database_test.cc.)
//
// mdb-export renders values its own way, so each cell is compared in the
// form both sides can express exactly: whole numbers and money exactly;
// Double with 16 significant digits (as mdb-export prints it); dates as
// yyyy-mm-dd hh:mm:ss where mdb-export can render them (from 30 December
// 1899 to day 1,000,000; outside that range it prints a placeholder); empty
// text and Null alike (it prints both as an empty field); a zero's sign is
// not kept (SQLite stores an integral REAL as an integer); Binary bytes as
// hexadecimal digits, exactly.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/values.h"
#include "shared_dir.h"
#include "support/jet_support.h"
#include "support/split_tabs.h"

namespace qorvel::jet {
namespace {

// Runs argv (each argument quoted for the shell) and returns its standard
// output, or nothing when it cannot be run or exits with a failure.
std::optional<std::string> RunAndCapture(const std::vector<std::string>& argv) {
  std::string command;
  for (const std::string& arg : argv) {
    command += '\'';
    for (const char c : arg) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "' ";
  }
  FILE* pipe = ::popen((command + "2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = ::pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

constexpr char kDateFormat[] = "%Y-%m-%d %H:%M:%S";

constexpr const char* kFixtures[] = {"fixtures/access-samples/testV1997.mdb",
                                     "fixtures/access-samples/binIdxTestV2010.accdb"};

// How mdb-export renders a date: the time rounded to the second.
std::string RenderDate(double value) {
  const long day = static_cast<long>(value);
  const long seconds = static_cast<long>((value - static_cast<double>(day)) * 86400.0 + 0.5);
  const auto date = DateTime(static_cast<double>(day)).ToParts();
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02ld:%02ld:%02ld", date.year, date.month, date.day,
                seconds / 3600, (seconds / 60) % 60, seconds % 60);
  return buffer;
}

// Why the cell differs, or empty when it agrees.
std::string Disagreement(const Variant& ours, const std::string& theirs, JetType type) {
  if (ours.IsNull()) return theirs.empty() ? "" : "we read Null";
  std::string mine;
  switch (type) {
    case JetType::kByte: mine = std::to_string(ours.AsByte()); break;
    case JetType::kInteger: mine = std::to_string(ours.AsInteger()); break;
    case JetType::kLong: mine = std::to_string(ours.AsLong()); break;
    case JetType::kBoolean: mine = ours.AsBoolean() ? "1" : "0"; break;
    case JetType::kDouble: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.16g", ours.AsDouble());
      mine = buffer;
      break;
    }
    case JetType::kCurrency: {
      const auto raw = ParseMoney(theirs);
      return raw && *raw == ours.AsCurrency().raw() ? "" : "money differs";
    }
    case JetType::kDateTime: {
      const double value = ours.AsDate().value();
      if (value < 0.0 || value > 1e6) return "";  // mdb-export cannot render it
      mine = RenderDate(value);
      break;
    }
    case JetType::kText:
      mine = ToUtf8(ours.AsText());
      if (mine.empty()) return theirs.empty() ? "" : "we read empty text";
      break;
    case JetType::kBinary: mine = ToUtf8(ours.AsText()); break;  // hexadecimal on both sides
    default: return std::string("no comparison for ") + JetTypeName(type);
  }
  if (mine == theirs) return "";
  if (type == JetType::kDouble) {
    // A zero's sign is not kept: SQLite stores an integral REAL as an integer.
    double value = 1;
    if (std::sscanf(theirs.c_str(), "%lf", &value) == 1 && value == 0 && std::stod(mine) == 0) return "";
  }
  return "we read '" + mine + "'";
}

class MdbExportTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MdbExportTest, EveryTableAgreesWithMdbExport) {
  QORVEL_REQUIRE_SHARED(GetParam());
  if (!RunAndCapture({"mdb-export", "--version"})) GTEST_SKIP() << "mdb-export (package mdbtools) is not installed";
  const auto path = ::qorvel::testing::SharedPath(GetParam());
  auto db = Database::Open(path, u"", testing::TestOptions());
  ASSERT_FALSE(db->tables().empty());
  for (const TableInfo& table : db->tables()) {
    SCOPED_TRACE(ToUtf8(table.name));
    const ResultSet ours = db->ReadTable(table.name);
    // Unquoted fields and rows ended by the ASCII unit and record
    // separators, which no fixture's text holds.
    const auto exported = RunAndCapture({"mdb-export", "-Q", "-d", "\x1f", "-R", "\x1e", "-b", "hex", "-D",
                                         kDateFormat, "-T", kDateFormat, path.string(), ToUtf8(table.name)});
    ASSERT_TRUE(exported.has_value()) << "mdb-export failed";
    std::vector<std::vector<std::string>> rows;
    for (const std::string& row : ::qorvel::testing::SplitTabs(*exported, '\x1e')) {
      rows.push_back(::qorvel::testing::SplitTabs(row, '\x1f'));
    }
    rows.pop_back();  // after the last separator
    ASSERT_FALSE(rows.empty());
    std::map<std::string, std::size_t> their_column;
    for (std::size_t i = 0; i < rows[0].size(); ++i) their_column[rows[0][i]] = i;
    ASSERT_EQ(ours.row_count(), rows.size() - 1);
    int differences = 0;
    for (std::size_t c = 0; c < ours.columns.size(); ++c) {
      const std::string name = ToUtf8(ours.columns[c].name);
      ASSERT_TRUE(their_column.count(name)) << name;
      const std::size_t k = their_column[name];
      for (std::size_t r = 0; r < ours.row_count(); ++r) {
        const auto& theirs = rows[r + 1];
        ASSERT_LT(k, theirs.size());
        const std::string why = Disagreement(ours.at(r, c), theirs[k], ours.columns[c].type);
        if (!why.empty() && ++differences <= 10) {
          ADD_FAILURE() << name << " row " << r << ": mdb-export printed '" << theirs[k] << "', " << why;
        }
      }
    }
    EXPECT_EQ(differences, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MdbExportTest, ::testing::ValuesIn(kFixtures), [](const auto& param) {
  return std::filesystem::path(param.param).stem().string();  // letters and digits only
});

}  // namespace
}  // namespace qorvel::jet
