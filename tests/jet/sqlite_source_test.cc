// SQLite files written by other tools: the declared types and value texts
// the reader accepts whatever their letter case, and the names its tables
// get in the mirror.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/errors.h"
#include "jet/source.h"
#include "jet/sqlite_handles.h"
#include "support/jet_support.h"

namespace qorvel::jet {
namespace {

using testing::TempDir;
using testing::TestOptions;

// Writes a SQLite file at `path` by running `sql`.
void WriteSqliteFile(const std::filesystem::path& path, const std::string& sql) {
  Connection db;
  ASSERT_EQ(OpenConnection(path.c_str(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
      << sqlite3_errmsg(db.get());
}

TEST(SqliteSourceTest, DeclaredTypesAndBooleanWordsInAnyLetterCase) {
  const auto money = Variant::FromCurrency(Currency::FromRaw(125000));
  const auto yes = Variant::FromBoolean(true), no = Variant::FromBoolean(false);
  const struct {
    const char* declared;
    const char* value;  // SQL literal
    JetType type;
    Variant expected;
    long error = 0;
  } cases[] = {
      // The mirror's own declared types: values already in mirror storage.
      {"JetCurrency INTEGER", "125000", JetType::kCurrency, money},
      // Other tools' names.
      {"money", "'12.50'", JetType::kCurrency, money}, {"Currency", "12.5", JetType::kCurrency, money},
      {"varchar(20)", "'x'", JetType::kText, Variant::FromText(u"x")},
      {"Double  Precision", "1.5", JetType::kDouble, Variant::FromDouble(1.5)},
      {"smallint", "-3", JetType::kInteger, Variant::FromInteger(-3)}, {"YesNo", "'no'", JetType::kBoolean, no},
      {"mediumint", "9", JetType::kLong, Variant::FromLong(9)},  // SQLite's affinity: INT
      {"BLOB", "x'00ff10'", JetType::kBinary, Variant::FromText(u"00FF10")},
      {"varbinary(8)", "x''", JetType::kBinary, Variant::FromText(u"")},
      {"LongBinary", "x'0a'", JetType::kOle, Variant::FromText(u"0A")},
      {"JetDateTimeExtended TEXT", "'0001-01-01 00:00:00.0000001'", JetType::kDateTimeExtended,
       Variant::FromText(u"0001-01-01 00:00:00.0000001")},
      // An extended date/time that is no date is damage.
      {"JetDateTimeExtended TEXT", "'2020-02-30 00:00:00.0000000'", JetType::kDateTimeExtended, {}, kErrDamaged},
      // The words a Boolean may be written as.
      {"BOOLEAN", "'true'", JetType::kBoolean, yes},     {"BOOLEAN", "'yEs'", JetType::kBoolean, yes},
      {"BOOLEAN", "1", JetType::kBoolean, yes},          {"BOOLEAN", "'2.5'", JetType::kBoolean, yes},
      {"BOOLEAN", "'FaLsE'", JetType::kBoolean, no},     {"BOOLEAN", "'NO'", JetType::kBoolean, no},
      {"BOOLEAN", "'0.0'", JetType::kBoolean, no}, {"BOOLEAN", "'maybe'", JetType::kBoolean, {}, kErrDamaged},
      {"BOOLEAN", "'yes '", JetType::kBoolean, {}, kErrDamaged},
  };
  TempDir temp;
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.declared) + " " + c.value);
    const auto path = temp / ("types" + std::to_string(++n) + ".sqlite");
    WriteSqliteFile(path, std::string("CREATE TABLE T (v ") + c.declared + "); INSERT INTO T VALUES (" + c.value + ");");
    auto db = Database::Open(path, u"", TestOptions());
    ASSERT_EQ(db->FindTable(u"T")->columns.size(), 1u);
    EXPECT_EQ(db->FindTable(u"T")->columns[0].type, c.type);
    ResultSet rows;
    EXPECT_EQ(testing::ErrorOf([&] { rows = db->ReadTable(u"T"); }).number(), c.error);
    if (c.error != 0) continue;
    ASSERT_EQ(rows.row_count(), 1u);
    EXPECT_EQ(rows.at(0, 0), c.expected) << testing::Describe(rows.at(0, 0));
  }
}

// Columns of no type the engine knows are named; a table left without
// columns is copied with a placeholder column that the copy's reader leaves
// out again.
TEST(SqliteSourceTest, ColumnsOfNoKnownTypeAreNamed) {
  TempDir temp;
  const auto path = temp / "other.sqlite";
  WriteSqliteFile(path, "CREATE TABLE T (a LONG, b GEOMETRY); CREATE TABLE U (g GEOMETRY); "
                        "INSERT INTO T VALUES (1, 'p'); INSERT INTO U VALUES ('p');");
  auto db = Database::Open(path, u"", TestOptions());
  const TableInfo* table = db->FindTable(u"T");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->unsupported.size(), 1u);
  EXPECT_EQ(table->unsupported[0].name, u"b");
  EXPECT_EQ(table->unsupported[0].kind, u"declared type GEOMETRY");
  const auto copy = temp / "copy.sqlite";
  db->ExportToSqlite(copy);
  auto reopened = Database::Open(copy, u"", TestOptions());
  const TableInfo* u = reopened->FindTable(u"U");
  ASSERT_NE(u, nullptr);
  EXPECT_TRUE(u->columns.empty());
  EXPECT_TRUE(u->unsupported.empty());
}

TEST(MirrorNamesTest, OwnNameWhenPlainAndFreeElseNumbered) {
  struct Case {
    std::vector<std::u16string> tables;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {{u"Credit", u"Invoice_2", u"_x"}, {"Credit", "Invoice_2", "_x"}},
      // SQLite compares names without regard to case.
      {{u"Credit", u"CREDIT"}, {"Credit", "t2"}},
      // Not identifiers, or beyond ASCII.
      {{u"Bad Name", u"1abc", u"Grüße", u"a-b", u""}, {"t1", "t2", "t3", "t4", "t5"}},
      {{std::u16string(64, u'a'), std::u16string(65, u'b')}, {std::string(64, 'a'), "t2"}},
      // Reserved: SQLite's own names and the mirror's index names.
      {{u"sqlite_stat1", u"SQLite_x", u"ix1_Credit", u"IXes", u"Index"}, {"t1", "t2", "t3", "t4", "Index"}},
      // A number is never given twice, nor a name a table has.
      {{u"T2", u"x y"}, {"T2", "t3"}}, {{u"x y", u"t1"}, {"t1", "t2"}},
  };
  for (const Case& c : cases) {
    std::vector<TableInfo> tables;
    for (const std::u16string& name : c.tables) tables.push_back({name, {}, ""});
    AssignMirrorNames(tables);
    std::vector<std::string> names;
    for (const TableInfo& table : tables) names.push_back(table.sqlite_name);
    EXPECT_EQ(names, c.names) << ToUtf8(c.tables[0]);
  }
}

}  // namespace
}  // namespace qorvel::jet
