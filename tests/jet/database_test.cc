// The engine's Database: exact values of every type, passwords, the failure
// of each kind of bad file, change detection, case-insensitive text, SQLite
// files and the export.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cfloat>
#include <chrono>
#include <climits>
#include <fstream>
#include <random>
#include <sstream>

#include "jet/database.h"
#include "jet/errors.h"
#include "jet/file_watch.h"
#include "jet/sql/translator.h"
#include "support/jet_support.h"
#include "qorvel/automation_error.h"
#include "shared_dir.h"

namespace qorvel::jet {
namespace {

using ::qorvel::testing::SharedPath;
using testing::Describe;
using testing::OpenShared;
using testing::TempDir;
using testing::TestOptions;

Variant Date(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  return Variant::FromDate(*DateTime::FromParts(y, m, d, hh, mm, ss));
}
Variant Txt(const char16_t* text) { return Variant::FromText(text); }
Variant Num(const char* text) {
  // Decimal from text: digits and an optional point.
  Decimal d;
  std::string s = text;
  if (s[0] == '-') {
    d.negative = true;
    s.erase(0, 1);
  }
  const auto point = s.find('.');
  if (point != std::string::npos) {
    d.scale = static_cast<std::uint8_t>(s.size() - point - 1);
    s.erase(point, 1);
  }
  d.lo = std::stoull(s);
  return Variant::FromDecimal(d);
}
Variant Money(std::int64_t raw) { return Variant::FromCurrency(Currency::FromRaw(raw)); }

// The long value of the cell, or fails the test.
long Count(Database& db, const std::u16string& statement) {
  const ResultSet result = db.Execute(statement);
  EXPECT_EQ(result.row_count(), 1u);
  EXPECT_EQ(result.at(0, 0).type(), VarType::kLong);
  return result.at(0, 0).AsLong();
}

// The error number Open (and the loading of every table) raises, or 0.
long OpenError(const std::filesystem::path& path, TextView password = testing::kPassword) {
  try {
    auto db = Database::Open(path, password, TestOptions());
    db->LoadAllTables();
    return 0;
  } catch (const AutomationError& error) {
    return error.number();
  }
}

TEST(TypesTest, EveryTypeComesBackExactly) {
  QORVEL_REQUIRE_SHARED("fixtures/types.mdb");
  auto db = OpenShared("fixtures/types.mdb");
  const ResultSet rows = db->ReadTable(u"alltypes");
  const std::vector<std::pair<std::u16string, JetType>> columns = {
      {u"Id", JetType::kLong},         {u"ByteCol", JetType::kByte},     {u"IntCol", JetType::kInteger},
      {u"LongCol", JetType::kLong},    {u"SingleCol", JetType::kSingle}, {u"DoubleCol", JetType::kDouble},
      {u"MoneyCol", JetType::kCurrency}, {u"DateCol", JetType::kDateTime}, {u"TextCol", JetType::kText},
      {u"MemoCol", JetType::kMemo},    {u"BoolCol", JetType::kBoolean},  {u"GuidCol", JetType::kGuid},
      {u"NumericCol", JetType::kNumeric}};
  ASSERT_EQ(rows.columns.size(), columns.size());
  for (std::size_t c = 0; c < columns.size(); ++c) {
    EXPECT_EQ(rows.columns[c].name, columns[c].first);
    EXPECT_EQ(rows.columns[c].type, columns[c].second);
  }
  const Variant null = Variant::Null();
  const Variant memo3{};  // checked separately below
  const std::vector<std::vector<Variant>> expected = {
      {Variant::FromLong(1), Variant::FromByte(7), Variant::FromInteger(42), Variant::FromLong(417),
       Variant::FromSingle(1.5f), Variant::FromDouble(0.1), Money(123456), Date(2011, 3, 31, 14, 15, 0),
       Txt(u"plain ascii"), Txt(u"short memo"), Variant::FromBoolean(true),
       Txt(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"), Num("1234.5678")},
      {Variant::FromLong(2), null, null, null, null, null, null, null, null, null,
       Variant::FromBoolean(false), null, null},
      {Variant::FromLong(3), Variant::FromByte(255), Variant::FromInteger(-32768),
       Variant::FromLong(INT32_MIN), Variant::FromSingle(-3.4e38f), Variant::FromDouble(-DBL_MAX),
       Money(INT64_MIN), Date(100, 1, 1), Txt(u""), memo3, Variant::FromBoolean(false),
       Txt(u"{00000000-0000-0000-0000-000000000000}"), Num("-99999999999999.9999")},
      {Variant::FromLong(4), Variant::FromByte(0), Variant::FromInteger(32767), Variant::FromLong(INT32_MAX),
       Variant::FromSingle(3.4e38f), Variant::FromDouble(4.9406564584124654e-324), Money(INT64_MAX),
       Date(9999, 12, 31, 23, 59, 59), Txt(u"Grüße, 日本語 — ‘quotes’"), Txt(u"Ünïcödé memo 日本語"),
       Variant::FromBoolean(true), Txt(u"{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"), Num("0.0001")},
      {Variant::FromLong(5), Variant::FromByte(1), Variant::FromInteger(-1), Variant::FromLong(-1),
       Variant::FromSingle(0.0f), Variant::FromDouble(0.0), Money(-1), Variant::FromDate(DateTime(-1.25)),
       Txt(u"O'Brien [x] #1#"), Txt(u""), Variant::FromBoolean(true), null, Num("0")},
      {Variant::FromLong(6), Variant::FromByte(2), Variant::FromInteger(0), Variant::FromLong(0),
       Variant::FromSingle(1e-7f), Variant::FromDouble(1e20), Money(5000),
       Variant::FromDate(*DateTime::FromParts(1899, 12, 30, 10, 15, 0)), Txt(u"  padded  "), null,
       Variant::FromBoolean(false), null, null},
  };
  ASSERT_EQ(rows.row_count(), expected.size());
  for (std::size_t r = 0; r < expected.size(); ++r) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (r == 2 && c == 9) continue;
      EXPECT_EQ(rows.at(r, c), expected[r][c])
          << "row " << r + 1 << " " << ToUtf8(columns[c].first) << ": " << Describe(rows.at(r, c));
    }
  }
  // The 14 KB memo: 3,000 numbered lines.
  const Variant& memo = rows.at(2, 9);
  ASSERT_EQ(memo.type(), VarType::kText);
  EXPECT_GT(memo.AsText().size(), 14000u);
  EXPECT_EQ(memo.AsText().substr(0, 7), u"line 0\n");
  EXPECT_EQ(memo.AsText().substr(memo.AsText().size() - 11), u"\nline 2999\n");
}

TEST(TypesTest, ExportedSqliteFileReadsBackTheSame) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  TempDir temp;
  for (const char* file : {"fixtures/types.mdb", "fixtures/billing.mdb"}) {
    SCOPED_TRACE(file);
    auto original = OpenShared(file);
    const auto exported = temp / "export.sqlite";
    original->ExportToSqlite(exported);
    original->ExportToSqlite(exported);  // replaces the file
    auto copy = Database::Open(exported, u"", TestOptions());
    EXPECT_EQ(copy->format(), FileFormat::kSqlite);
    ASSERT_EQ(copy->tables().size(), original->tables().size());
    for (const TableInfo& table : original->tables()) {
      const ResultSet a = original->ReadTable(table.name);
      const ResultSet b = copy->ReadTable(table.name);
      ASSERT_EQ(a.columns.size(), b.columns.size()) << ToUtf8(table.name);
      for (std::size_t c = 0; c < a.columns.size(); ++c) {
        EXPECT_EQ(a.columns[c].name, b.columns[c].name);
        EXPECT_EQ(a.columns[c].type, b.columns[c].type);
      }
      ASSERT_EQ(a.values.size(), b.values.size()) << ToUtf8(table.name);
      for (std::size_t i = 0; i < a.values.size(); ++i) {
        EXPECT_EQ(a.values[i], b.values[i]) << ToUtf8(table.name) << " value " << i << ": "
                                            << Describe(a.values[i]) << " / " << Describe(b.values[i]);
      }
    }
  }
}

// Builds a SQLite file from the fixtures' TSV files, with their type names
// as declared types and their text as values.
void BuildSqliteFromTsv(const std::filesystem::path& out) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(out.c_str(), &db), SQLITE_OK);
  for (const auto& entry : std::filesystem::directory_iterator(SharedPath("fixtures/billing"))) {
    if (entry.path().extension() != ".tsv") continue;
    std::ifstream in(entry.path());
    std::string line;
    std::vector<std::vector<std::string>> rows;
    while (std::getline(in, line)) {
      std::vector<std::string> fields;
      std::stringstream split(line);
      std::string field;
      while (std::getline(split, field, '\t')) fields.push_back(field);
      if (!line.empty() && line.back() == '\t') fields.emplace_back();
      rows.push_back(fields);
    }
    const std::string table = entry.path().stem().string();
    std::string create = "CREATE TABLE \"" + table + "\" (";
    std::string insert = "INSERT INTO \"" + table + "\" VALUES (";
    for (std::size_t c = 0; c < rows[0].size(); ++c) {
      const auto colon = rows[0][c].find(':');
      create += (c ? ", \"" : "\"") + rows[0][c].substr(0, colon) + "\" " + rows[0][c].substr(colon + 1);
      insert += c ? ", ?" : "?";
    }
    ASSERT_EQ(sqlite3_exec(db, (create + ")").c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, (insert + ")").c_str(), -1, &stmt, nullptr), SQLITE_OK);
    for (std::size_t r = 1; r < rows.size(); ++r) {
      for (std::size_t c = 0; c < rows[r].size(); ++c) {
        if (rows[r][c] == "\\N") {
          sqlite3_bind_null(stmt, static_cast<int>(c + 1));
        } else {
          sqlite3_bind_text(stmt, static_cast<int>(c + 1), rows[r][c].c_str(), -1, SQLITE_TRANSIENT);
        }
      }
      ASSERT_EQ(sqlite3_step(stmt), SQLITE_DONE);
      sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
}

TEST(SqliteFileTest, SameRowsAsTheMdbFile) {
  QORVEL_REQUIRE_SHARED("fixtures/billing/Client.tsv");
  TempDir temp;
  const auto path = temp / "billing.sqlite";
  BuildSqliteFromTsv(path);
  auto sqlite = Database::Open(path, u"", TestOptions());
  auto mdb = OpenShared("fixtures/billing.mdb");
  for (const TableInfo& table : mdb->tables()) {
    SCOPED_TRACE(ToUtf8(table.name));
    const ResultSet a = mdb->ReadTable(table.name);
    const ResultSet b = sqlite->ReadTable(table.name);
    ASSERT_EQ(a.columns.size(), b.columns.size());
    for (std::size_t c = 0; c < a.columns.size(); ++c) EXPECT_EQ(a.columns[c].type, b.columns[c].type);
    ASSERT_EQ(a.values.size(), b.values.size());
    for (std::size_t i = 0; i < a.values.size(); ++i) {
      EXPECT_EQ(a.values[i], b.values[i]) << Describe(a.values[i]) << " / " << Describe(b.values[i]);
    }
  }
  // And the same answers to a statement.
  const std::u16string statement = u"Select Sum(Balance) From Credit Where Active = 1 And PeopleID = 417";
  EXPECT_EQ(sqlite->Execute(statement).at(0, 0), mdb->Execute(statement).at(0, 0));
  EXPECT_EQ(mdb->Execute(statement).at(0, 0), Money(3305000));
}

TEST(PasswordTest, OpensOnlyWithTheFilesPassword) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  struct Case {
    const char* file;
    const char16_t* password;
    long error;
  };
  const Case cases[] = {
      {"fixtures/billing.mdb", u"PZqfnWM4062", 0},
      {"fixtures/billing.mdb", u"", kErrWrongPassword},
      {"fixtures/billing.mdb", u"pzqfnwm4062", kErrWrongPassword},
      {"fixtures/billing.mdb", u"PZqfnWM4062 ", kErrWrongPassword},
      {"fixtures/billing.mdb", u"PZqfnWM406", kErrWrongPassword},
      {"fixtures/billing-otherpassword.mdb", u"PZqfnWM4062", kErrWrongPassword},
      {"fixtures/billing-otherpassword.mdb", u"secret pw", 0},
      {"fixtures/billing-nopassword.mdb", u"PZqfnWM4062", 0},
      {"fixtures/billing-nopassword.mdb", u"", 0},
      {"fixtures/access-samples/testV1997.mdb", u"anything", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OpenError(SharedPath(c.file), c.password), c.error) << c.file << " " << ToUtf8(c.password);
  }
  try {
    OpenShared("fixtures/billing-otherpassword.mdb");
    FAIL() << "opened with the wrong password";
  } catch (const AutomationError& error) {
    EXPECT_NE(error.description().find(u"password"), Text::npos);
    EXPECT_NE(error.description().find(u"billing-otherpassword.mdb"), Text::npos);
  }
}

// A copy of billing.mdb with `change` applied to its bytes.
std::filesystem::path Damaged(const TempDir& temp, const std::string& name,
                              const std::function<void(std::string&)>& change) {
  std::string bytes = testing::ReadFileBytes(SharedPath("fixtures/billing.mdb"));
  change(bytes);
  const auto path = temp / name;
  testing::WriteFileBytes(path, bytes);
  return path;
}

TEST(BadFileTest, EachKindOfFailureHasItsOwnError) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  TempDir temp;
  constexpr std::size_t kPage = 4096;
  testing::WriteFileBytes(temp / "empty.mdb", "");
  testing::WriteFileBytes(temp / "notes.mdb", "These are notes, not a database.\n");
  testing::WriteFileBytes(temp / "image.mdb", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(5000, 'x'));
  std::filesystem::create_directory(temp / "folder.mdb");
  struct Case {
    std::string what;
    std::filesystem::path path;
    long error;
  };
  const std::vector<Case> cases = {
      {"missing file", temp / "missing.mdb", kErrFileNotFound},
      {"missing folder", temp / "no-such-folder" / "billing.mdb", kErrFileNotFound},
      {"empty path", std::filesystem::path(), kErrFileNotFound},
      {"folder", temp / "folder.mdb", kErrNotAFile},
      {"device", "/dev/null", kErrNotAFile},
      {"empty file", temp / "empty.mdb", kErrNotADatabase},
      {"text file", temp / "notes.mdb", kErrNotADatabase},
      {"image", temp / "image.mdb", kErrNotADatabase},
      {"unknown version", Damaged(temp, "version.mdb", [](std::string& b) { b[0x14] = 9; }), kErrDamaged},
      {"header only", Damaged(temp, "header.mdb", [](std::string& b) { b.resize(0x60); }), kErrTruncated},
      {"half a page", Damaged(temp, "half.mdb", [](std::string& b) { b.resize(kPage * 20 + 1000); }),
       kErrTruncated},
      {"two pages", Damaged(temp, "two.mdb", [](std::string& b) { b.resize(kPage * 2); }), kErrTruncated},
      {"twenty pages", Damaged(temp, "twenty.mdb", [](std::string& b) { b.resize(kPage * 20); }),
       kErrTruncated},
      {"catalog definition zeroed",
       Damaged(temp, "catalog.mdb", [](std::string& b) { std::fill_n(b.begin() + 2 * kPage, kPage, '\0'); }),
       kErrDamaged},
      {"every page after the catalog definition zeroed",
       Damaged(temp, "wiped.mdb", [](std::string& b) { std::fill(b.begin() + 3 * kPage, b.end(), '\0'); }),
       kErrDamaged},
  };
  for (const Case& c : cases) {
    try {
      auto db = Database::Open(c.path, testing::kPassword, TestOptions());
      db->LoadAllTables();
      ADD_FAILURE() << c.what << ": opened";
    } catch (const AutomationError& error) {
      EXPECT_EQ(error.number(), c.error) << c.what << ": " << error.what();
      EXPECT_FALSE(error.description().empty());
      if (!c.path.empty() && c.path.string().find("/dev/") == std::string::npos) {
        EXPECT_NE(error.description().find(FromUtf8(c.path.filename().string())), Text::npos)
            << c.what << ": " << error.what();
      }
    }
  }
}

TEST(BadFileTest, UnreadableFile) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not apply";
  TempDir temp;
  const auto path = temp / "locked.mdb";
  std::filesystem::copy_file(SharedPath("fixtures/billing.mdb"), path);
  std::filesystem::permissions(path, std::filesystem::perms::none);
  EXPECT_EQ(OpenError(path), kErrAccessDenied);
}

TEST(BadFileTest, DamagedAndTruncatedSqliteFiles) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  TempDir temp;
  const auto good = temp / "good.sqlite";
  OpenShared("fixtures/billing.mdb")->ExportToSqlite(good);
  const std::string bytes = testing::ReadFileBytes(good);
  ASSERT_GT(bytes.size(), 8192u);
  testing::WriteFileBytes(temp / "truncated.sqlite", bytes.substr(0, bytes.size() / 2));
  EXPECT_EQ(OpenError(temp / "truncated.sqlite"), kErrTruncated);
  std::string garbled = bytes;
  for (std::size_t i = 4096; i < garbled.size(); i += 7) garbled[i] = static_cast<char>(i * 31);
  testing::WriteFileBytes(temp / "garbled.sqlite", garbled);
  EXPECT_EQ(OpenError(temp / "garbled.sqlite"), kErrDamaged);
}

// Random damage to copies of a few files: every open and load either
// succeeds or fails with one of the file errors; nothing crashes or hangs
// (run under the sanitizer build as well).
TEST(BadFileTest, RandomDamageNeverCrashes) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  TempDir temp;
  const long allowed[] = {0, kErrTruncated, kErrDamaged, kErrNotADatabase, kErrWrongPassword};
  int iteration = 0;
  for (const char* file : {"fixtures/billing.mdb", "fixtures/types.mdb",
                           "fixtures/access-samples/testV1997.mdb", "fixtures/access-samples/testV2007.accdb"}) {
    if (!std::filesystem::exists(SharedPath(file))) continue;
    const std::string original = testing::ReadFileBytes(SharedPath(file));
    const std::size_t page = original[0x14] == 0 ? 2048 : 4096;
    for (int i = 0; i < 40; ++i, ++iteration) {
      std::mt19937 random(static_cast<unsigned>(iteration));
      std::string bytes = original;
      switch (i % 4) {
        case 0:  // scattered bytes
          for (unsigned k = 0, n = 1u << (random() % 9); k < n; ++k) {
            bytes[random() % bytes.size()] = static_cast<char>(random());
          }
          break;
        case 1: {  // a page of noise
          const std::size_t p = random() % (bytes.size() / page);
          for (std::size_t k = 0; k < page; ++k) bytes[p * page + k] = static_cast<char>(random());
          break;
        }
        case 2:  // cut anywhere
          bytes.resize(random() % bytes.size());
          break;
        case 3: {  // a row offset or page header field
          const std::size_t at = (random() % (bytes.size() / page)) * page + random() % 64;
          for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(random());
          break;
        }
      }
      const auto path = temp / "damaged.mdb";
      testing::WriteFileBytes(path, bytes);
      long error = 0;
      try {
        auto db = Database::Open(path, testing::kPassword, TestOptions());
        for (const TableInfo& table : db->tables()) db->ReadTable(table.name);
      } catch (const AutomationError& e) {
        error = e.number();
      }
      EXPECT_NE(std::find(std::begin(allowed), std::end(allowed), error), std::end(allowed))
          << file << " damage " << i << ": error " << error;
    }
  }
}

// Both ways of learning of a change: the kernel's reports and the stamp
// compared before every statement.
class ChangeTest : public ::testing::TestWithParam<bool> {
 protected:
  DatabaseOptions Options() const {
    DatabaseOptions options = TestOptions();
    options.watch_file = GetParam();
    return options;
  }
};

TEST_P(ChangeTest, NextStatementSeesTheNewFile) {
  QORVEL_REQUIRE_SHARED("fixtures/billing-large.mdb");
  TempDir temp;
  const auto path = temp / "db.mdb";
  const auto replace = [&](const char* fixture) {
    const auto staged = temp / "staged.mdb";
    std::filesystem::copy_file(SharedPath(fixture), staged, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::rename(staged, path);  // as a writer replaces a file
  };
  replace("fixtures/billing.mdb");
  auto db = Database::Open(path, testing::kPassword, Options());
  const std::u16string clients = u"Select Count(*) From Client";
  const std::u16string invoices = u"Select Count(*) From Invoice Where PeopleID = 417";
  EXPECT_EQ(Count(*db, clients), 4);
  EXPECT_EQ(Count(*db, invoices), 4);

  replace("fixtures/billing-large.mdb");
  EXPECT_EQ(Count(*db, clients), 20000);
  const long large_invoices = Count(*db, invoices);

  // The same file rewritten in place with another size.
  testing::WriteFileBytes(path, testing::ReadFileBytes(SharedPath("fixtures/billing.mdb")));
  EXPECT_EQ(Count(*db, clients), 4);
  EXPECT_NE(large_invoices, -1);

  // A replacement the password does not open, then a missing file: the
  // statements fail with the file's error rather than reading old data.
  replace("fixtures/billing-otherpassword.mdb");
  try {
    db->Execute(clients);
    ADD_FAILURE() << "read a file whose password differs";
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.number(), kErrWrongPassword);
  }
  std::filesystem::remove(path);
  try {
    db->Execute(clients);
    ADD_FAILURE() << "read a file that is gone";
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.number(), kErrFileNotFound);
  }
  replace("fixtures/billing.mdb");
  EXPECT_EQ(Count(*db, clients), 4);
}

// A rewrite in place with the same size: seen through the kernel's report
// even within one tick of the file system's clock (the stamp alone may miss
// that, which is why the watch is used where it works).
TEST_P(ChangeTest, SameSizeRewriteInPlace) {
  QORVEL_REQUIRE_SHARED("fixtures/billing-otherpassword.mdb");
  TempDir temp;
  const auto path = temp / "db.mdb";
  std::filesystem::copy_file(SharedPath("fixtures/billing.mdb"), path);
  if (GetParam() && !FileWatch(path).active()) GTEST_SKIP() << "no kernel reports for " << temp.path();
  auto db = Database::Open(path, testing::kPassword, Options());
  EXPECT_EQ(Count(*db, u"Select Count(*) From Client"), 4);
  const std::string other = testing::ReadFileBytes(SharedPath("fixtures/billing-otherpassword.mdb"));
  ASSERT_EQ(other.size(), std::filesystem::file_size(path));
  const auto before = std::filesystem::last_write_time(path);
  {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.write(other.data(), static_cast<std::streamsize>(other.size()));
  }
  if (!GetParam()) {
    // The stamp sees the rewrite once the file system's clock has moved on.
    std::filesystem::last_write_time(path, before + std::chrono::seconds(1));
  }
  try {
    db->Execute(u"Select Count(*) From Client");
    ADD_FAILURE() << "read the old file";
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.number(), kErrWrongPassword);
  }
}

INSTANTIATE_TEST_SUITE_P(WatchOrStamp, ChangeTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "Watch" : "Stamp";
                         });

TEST(NoWriteTest, NeverWritesTheFile) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  TempDir temp;
  const auto path = temp / "db.mdb";
  std::filesystem::copy_file(SharedPath("fixtures/billing.mdb"), path);
  const auto before = std::filesystem::last_write_time(path);
  const std::string bytes = testing::ReadFileBytes(path);
  {
    auto db = Database::Open(path, testing::kPassword, TestOptions());
    db->LoadAllTables();
    Count(*db, u"Select Count(*) From ActivityLog Where PeopleID = 417");
  }
  EXPECT_EQ(std::filesystem::last_write_time(path), before);
  EXPECT_EQ(testing::ReadFileBytes(path), bytes);
}

TEST(TextCompareTest, TextAndNamesCompareWithoutRegardToCase) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  auto db = OpenShared("fixtures/billing.mdb");
  const long billing = Count(*db, u"Select Count(*) From CaseClientContact Where Category = 'Billing'");
  EXPECT_GT(billing, 0);
  for (const char16_t* statement :
       {u"Select Count(*) From CaseClientContact Where Category = 'BILLING'",
        u"Select Count(*) From CaseClientContact Where Category = 'billing'",
        u"select count(*) from caseclientcontact where category = 'bIlLiNg'",
        u"Select Count(*) From [CASECLIENTCONTACT] Where CATEGORY = 'Billing'"}) {
    EXPECT_EQ(Count(*db, statement), billing) << ToUtf8(statement);
  }
  EXPECT_EQ(Count(*db, u"Select Count(*) From CaseClientContact Where Category = 'Billin'"), 0);
  // GUIDs compare as text too.
  EXPECT_EQ(Count(*db, u"Select Count(*) From ActivityLog Where GUID = '{a0000001-0000-4000-8000-000000000417}'"),
            1);
  EXPECT_EQ(Count(*db, u"Select Count(*) From ActivityLog Where CareProviderID = 'hh 1'"),
            Count(*db, u"Select Count(*) From ActivityLog Where CareProviderID = 'HH 1'"));
}

TEST(ExecuteTest, ResultsCarryTheirJetTypes) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  auto db = OpenShared("fixtures/billing.mdb");
  const ResultSet money = db->Execute(u"Select Sum(Balance) From Credit Where Active = 1 And PeopleID = 417");
  EXPECT_EQ(money.columns[0].type, JetType::kCurrency);
  EXPECT_EQ(money.at(0, 0), Money(3305000));
  const ResultSet date = db->Execute(u"Select Max (DateEntered) From Invoice Where PeopleID = 417");
  EXPECT_EQ(date.at(0, 0).type(), VarType::kDate);
  const ResultSet none = db->Execute(u"Select Sum(Balance) From Credit Where PeopleID = -99");
  EXPECT_TRUE(none.at(0, 0).IsNull());
  // The second run of a statement shape binds the new literals.
  EXPECT_EQ(db->Execute(u"Select Sum(Balance) From Credit Where Active = 1 And PeopleID = 42").at(0, 0).type(),
            VarType::kNull);
  try {
    db->Execute(u"Select Count(*) From NoSuchTable");
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.number(), kErrNoSuchTable);
    EXPECT_NE(error.description().find(u"NoSuchTable"), Text::npos);
  }
}

}  // namespace
}  // namespace qorvel::jet
