// The engine's Database: exact values of every type, the export and
// encrypted files (never written), passwords, the failure of each kind of
// bad file, change detection; the column types the billing files never
// use; SQLite files of other tools.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sqlite3.h>

#include <atomic>
#include <cfloat>
#include <chrono>
#include <climits>
#include <cmath>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

#include "jet/database.h"
#include "jet/errors.h"
#include "jet/source.h"
#include "jet/sqlite_handles.h"
#include "jet/system.h"
#include "jet/values.h"
#include "shared_dir.h"
#include "support/jet_support.h"

namespace qorvel::jet {
namespace {

using ::qorvel::testing::SharedPath;
using testing::Describe;
using testing::ErrorOf;
using testing::OpenShared;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::TestOptions;
using testing::WriteFileBytes;

Variant Date(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  return Variant::FromDate(*DateTime::FromParts(y, m, d, hh, mm, ss));
}
Variant Txt(const char16_t* text) { return Variant::FromText(text); }
Variant Num(const char* text) { return Variant::FromDecimal(*ParseDecimal(text)); }
Variant Money(std::int64_t raw) { return Variant::FromCurrency(Currency::FromRaw(raw)); }

// The count that a Count(*) statement gives.
long Count(Database& db, const std::u16string& statement) {
  const ResultSet result = db.Execute(statement);
  return result.row_count() == 1 && result.at(0, 0).type() == VarType::kLong ? result.at(0, 0).AsLong() : -1;
}

// Open (with the fixtures' password) and the loading of every table.
void OpenAndLoad(const std::filesystem::path& path, TextView password = testing::kPassword) {
  Database::Open(path, password, TestOptions())->LoadAllTables();
}

// Both files hold the same tables, columns and values.
void ExpectSameTables(Database& a, Database& b) {
  ASSERT_EQ(a.tables().size(), b.tables().size());
  for (const TableInfo& table : a.tables()) {
    SCOPED_TRACE(ToUtf8(table.name));
    const ResultSet x = a.ReadTable(table.name);
    const ResultSet y = b.ReadTable(table.name);
    ASSERT_EQ(x.columns.size(), y.columns.size());
    for (std::size_t c = 0; c < x.columns.size(); ++c) {
      EXPECT_EQ(x.columns[c].name, y.columns[c].name);
      EXPECT_EQ(x.columns[c].type, y.columns[c].type);
    }
    ASSERT_EQ(x.values.size(), y.values.size());
    for (std::size_t i = 0; i < x.values.size(); ++i) {
      EXPECT_EQ(x.values[i], y.values[i]) << "value " << i << ": " << Describe(x.values[i]) << " / "
                                          << Describe(y.values[i]);
    }
  }
}

// Every type's values, its extremes among them, read exactly from the file
// and from its export to SQLite.
TEST(TypesTest, EveryTypeComesBackExactlyAlsoFromTheExport) {
  QORVEL_REQUIRE_SHARED("fixtures/types.mdb");
  TempDir temp;
  const std::shared_ptr<Database> original = OpenShared("fixtures/types.mdb");
  original->ExportToSqlite(temp / "types.sqlite");
  const std::shared_ptr<Database> copy = Database::Open(temp / "types.sqlite", u"", TestOptions());
  const Variant null = Variant::Null();
  const Variant memo3{};
  const auto Bool = Variant::FromBoolean;
  const std::vector<std::vector<Variant>> expected = {
      {Variant::FromLong(1), Variant::FromByte(7), Variant::FromInteger(42), Variant::FromLong(417),
       Variant::FromSingle(1.5f), Variant::FromDouble(0.1), Money(123456), Date(2011, 3, 31, 14, 15, 0),
       Txt(u"plain ascii"), Txt(u"short memo"), Bool(true), Txt(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"),
       Num("1234.5678")},
      {Variant::FromLong(2), null, null, null, null, null, null, null, null, null, Bool(false), null, null},
      {Variant::FromLong(3), Variant::FromByte(255), Variant::FromInteger(-32768), Variant::FromLong(INT32_MIN),
       Variant::FromSingle(-3.4e38f), Variant::FromDouble(-DBL_MAX), Money(INT64_MIN), Date(100, 1, 1), Txt(u""),
       memo3, Bool(false), Txt(u"{00000000-0000-0000-0000-000000000000}"), Num("-99999999999999.9999")},
      {Variant::FromLong(4), Variant::FromByte(0), Variant::FromInteger(32767), Variant::FromLong(INT32_MAX),
       Variant::FromSingle(3.4e38f), Variant::FromDouble(4.9406564584124654e-324), Money(INT64_MAX),
       Date(9999, 12, 31, 23, 59, 59), Txt(u"Grüße, 日本語 — ‘quotes’"), Txt(u"Ünïcödé memo 日本語"), Bool(true),
       Txt(u"{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"), Num("0.0001")},
      {Variant::FromLong(5), Variant::FromByte(1), Variant::FromInteger(-1), Variant::FromLong(-1),
       Variant::FromSingle(0.0f), Variant::FromDouble(0.0), Money(-1), Variant::FromDate(DateTime(-1.25)),
       Txt(u"O'Brien [x] #1#"), Txt(u""), Bool(true), null, Num("0")},
      {Variant::FromLong(6), Variant::FromByte(2), Variant::FromInteger(0), Variant::FromLong(0),
       Variant::FromSingle(1e-7f), Variant::FromDouble(1e20), Money(5000), Date(1899, 12, 30, 10, 15, 0),
       Txt(u"  padded  "), null, Bool(false), null, null},
  };
  for (const auto& db : {original, copy}) {
    SCOPED_TRACE(ToUtf8(FormatName(db->format())));
    const ResultSet rows = db->ReadTable(u"alltypes");
    std::string columns;
    for (std::size_t c = 0; c < rows.columns.size(); ++c) {
      columns += ToUtf8(rows.columns[c].name) + ":" + JetTypeName(rows.columns[c].type) + " ";
    }
    EXPECT_EQ(columns, "Id:Long ByteCol:Byte IntCol:Integer LongCol:Long SingleCol:Single DoubleCol:Double "
                       "MoneyCol:Currency DateCol:DateTime TextCol:Text MemoCol:Memo BoolCol:Boolean GuidCol:GUID "
                       "NumericCol:Numeric ");
    ASSERT_EQ(rows.row_count(), expected.size());
    for (std::size_t r = 0; r < expected.size(); ++r) {
      for (std::size_t c = 0; c < expected[r].size(); ++c) {
        if (r == 2 && c == 9) continue;  // the 14 KB memo, below
        EXPECT_EQ(rows.at(r, c), expected[r][c]) << r + 1 << ", " << c << ": " << Describe(rows.at(r, c));
      }
    }
    // The 14 KB memo: 3,000 numbered lines.
    const Text memo = rows.at(2, 9).AsText();
    EXPECT_GT(memo.size(), 14000u);
    EXPECT_TRUE(memo.starts_with(u"line 0\n") && memo.ends_with(u"\nline 2999\n"));
  }
}

// The export of every kind of file (among them the column types the billing
// files never use) reads back the same, and a second export replaces the
// first. (The exact values of every type: TypesTest above.)
TEST(ExportTest, ExportedSqliteFileReadsBackTheSame) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  TempDir temp;
  for (const char* file : {"fixtures/billing.mdb", "fixtures/access-samples/test2V2000.mdb",
                           "fixtures/access-samples/binIdxTestV2010.accdb", "fixtures/access-samples/calcFieldTestV2010.accdb",
                           "fixtures/access-samples/extDateTestV2019.accdb", "fixtures/access-samples/complexDataTestV2010.accdb",
                           "fixtures/access-samples/unsupportedFieldsTestV2007.accdb"}) {
    SCOPED_TRACE(file);
    auto original = OpenShared(file);
    const auto exported = temp / "export.sqlite";
    original->ExportToSqlite(exported);
    original->ExportToSqlite(exported);
    auto copy = Database::Open(exported, u"", TestOptions());
    EXPECT_EQ(copy->format(), FileFormat::kSqlite);
    ExpectSameTables(*original, *copy);
  }
}

// An encrypted copy of a file reads as the file itself; reading never
// writes the file.
TEST(ExportTest, EncryptedCopyReadsAsThePlainFile) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  TempDir temp;
  for (const char* file : {"fixtures/billing.mdb", "fixtures/access-samples/binIdxTestV2010.accdb"}) {
    SCOPED_TRACE(file);
    const std::string bytes = ReadFileBytes(SharedPath(file));
    const auto* header = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t page = PageSize(RecognizeFormat(std::span(header, kHeaderBytes)));
    const auto path = temp / "encrypted.mdb";
    const std::string encrypted = testing::Encrypted(bytes, page, 0x5A17C0DEu);
    WriteFileBytes(path, encrypted);
    const auto written = std::filesystem::last_write_time(path);
    ExpectSameTables(*OpenShared(file), *Database::Open(path, testing::kPassword, TestOptions()));
    EXPECT_EQ(std::filesystem::last_write_time(path), written);
    EXPECT_EQ(ReadFileBytes(path), encrypted);
  }
}

TEST(PasswordTest, OpensOnlyWithTheFilesPassword) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  const std::tuple<const char*, const char16_t*, long> cases[] = {
      {"billing.mdb", u"PZqfnWM4062", 0},   {"billing.mdb", u"", kErrWrongPassword},
      {"billing.mdb", u"pzqfnwm4062", kErrWrongPassword}, {"billing.mdb", u"PZqfnWM4062 ", kErrWrongPassword},
      {"billing.mdb", u"PZqfnWM406", kErrWrongPassword},
      {"billing-otherpassword.mdb", u"PZqfnWM4062", kErrWrongPassword},
      {"billing-otherpassword.mdb", u"secret pw", 0},     {"billing-nopassword.mdb", u"PZqfnWM4062", 0},
      {"access-samples/testV1997.mdb", u"anything", 0},  {"access-samples/testV2007.accdb", u"anything", 0},
  };
  for (const auto& [file, password, number] : cases) {
    SCOPED_TRACE(file + (" with '" + ToUtf8(password) + "'"));
    const std::filesystem::path path = SharedPath("fixtures/") / file;
    const Text given = password;
    const AutomationError error = ErrorOf([&] { OpenAndLoad(path, given); });
    EXPECT_EQ(error.number(), number);
    if (number != 0) {
      EXPECT_NE(error.description().find(u"password"), Text::npos) << error.what();
      EXPECT_NE(error.description().find(FromUtf8(std::filesystem::path(file).filename().string())), Text::npos)
          << error.what();
    }
  }
}

TEST(BadFileTest, EachKindOfFailureHasItsOwnError) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  TempDir temp;
  constexpr std::size_t kPage = 4096;
  const std::string billing = ReadFileBytes(SharedPath("fixtures/billing.mdb"));
  // A file of the temporary folder holding `bytes` with `change` applied.
  const auto file = [&](const std::string& name, std::string bytes,
                        const std::function<void(std::string&)>& change = nullptr) {
    if (change) change(bytes);
    WriteFileBytes(temp / name, bytes);
    return temp / name;
  };
  const auto cut = [](std::size_t size) { return [size](std::string& b) { b.resize(size); }; };
  OpenShared("fixtures/billing.mdb")->ExportToSqlite(temp / "good.sqlite");
  const std::string sqlite = ReadFileBytes(temp / "good.sqlite");
  ASSERT_GT(sqlite.size(), 8192u);
  std::filesystem::create_directory(temp / "folder.mdb");
  struct Case { std::string what; std::filesystem::path path; long error; };
  std::vector<Case> cases = {
      {"missing file", temp / "missing.mdb", kErrFileNotFound},
      {"empty path", std::filesystem::path(), kErrFileNotFound}, {"folder", temp / "folder.mdb", kErrNotAFile},
      {"device", "/dev/null", kErrNotAFile}, {"empty file", file("empty.mdb", ""), kErrNotADatabase},
      {"text file", file("notes.mdb", "These are notes, not a database.\n"), kErrNotADatabase},
      {"unknown version", file("version.mdb", billing, [](std::string& b) { b[0x14] = 9; }), kErrDamaged},
      {"header only", file("header.mdb", billing, cut(0x60)), kErrTruncated},
      {"half a page", file("half.mdb", billing, cut(kPage * 20 + 1000)), kErrTruncated},
      {"two pages", file("two.mdb", billing, cut(kPage * 2)), kErrTruncated},
      {"every page after the catalog definition zeroed",
       file("wiped.mdb", billing, [](std::string& b) { std::fill(b.begin() + 3 * kPage, b.end(), '\0'); }),
       kErrDamaged},
      {"SQLite file cut in half", file("truncated.sqlite", sqlite, cut(sqlite.size() / 2)), kErrTruncated},
      {"SQLite pages garbled",
       file("garbled.sqlite", sqlite,
            [](std::string& b) {
              for (std::size_t i = 4096; i < b.size(); i += 7) b[i] = static_cast<char>(i * 31);
            }),
       kErrDamaged},
  };
  if (::geteuid() != 0) {  // root reads whatever the permissions say
    cases.push_back({"unreadable", file("locked.mdb", billing), kErrAccessDenied});
    std::filesystem::permissions(cases.back().path, std::filesystem::perms::none);
  }
  for (const Case& c : cases) {
    const AutomationError error = ErrorOf([&] { OpenAndLoad(c.path); });
    EXPECT_EQ(error.number(), c.error) << c.what << ": " << error.what();
    EXPECT_FALSE(error.description().empty()) << c.what;
    if (!c.path.empty() && !c.path.string().starts_with("/dev/")) {
      EXPECT_NE(error.description().find(FromUtf8(c.path.filename().string())), Text::npos)
          << c.what << ": " << error.what();
    }
  }
}

// Both ways of learning of a change: the kernel's reports (Watch) and the
// stamp (Stamp), looked at before every statement unless a test says
// otherwise.
class ChangeTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    QORVEL_REQUIRE_SHARED("fixtures/billing-large.mdb");
    options_.watch_file = GetParam();
    options_.change_check_interval = {};
  }
  // Replaces the file as a writer does: a new file renamed over it.
  void Replace(const char* fixture) {
    std::filesystem::copy_file(SharedPath(fixture), temp_ / "staged.mdb",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::rename(temp_ / "staged.mdb", path_);
  }
  long ErrorOfCount(Database& db) {
    return ErrorOf([&] { db.Execute(u"Select Count(*) From Client"); }).number();
  }
  DatabaseOptions options_ = TestOptions();
  TempDir temp_;
  std::filesystem::path path_ = temp_ / "db.mdb";
};

// The next statement sees a file renamed over it, rewritten in place with
// another size or with the same size (through the kernel's report even
// within one tick of the file system's clock; the stamp alone may miss
// that, which is why the watch is used where it works), a replacement the
// password does not open and a missing file (their errors, not old data).
TEST_P(ChangeTest, NextStatementSeesTheNewFile) {
  Replace("fixtures/billing.mdb");
  if (GetParam() && !FileWatch(path_).active()) GTEST_SKIP() << "no kernel reports for " << temp_.path();
  auto db = Database::Open(path_, testing::kPassword, options_);
  const std::u16string clients = u"Select Count(*) From Client";
  EXPECT_EQ(Count(*db, clients), 4);
  EXPECT_EQ(Count(*db, u"Select Count(*) From Invoice Where PeopleID = 417"), 4);
  Replace("fixtures/billing-large.mdb");
  EXPECT_EQ(Count(*db, clients), 20000);
  WriteFileBytes(path_, ReadFileBytes(SharedPath("fixtures/billing.mdb")));
  EXPECT_EQ(Count(*db, clients), 4);
  const std::string other = ReadFileBytes(SharedPath("fixtures/billing-otherpassword.mdb"));
  ASSERT_EQ(other.size(), std::filesystem::file_size(path_));
  const auto before = std::filesystem::last_write_time(path_);
  std::fstream(path_, std::ios::binary | std::ios::in | std::ios::out)
      .write(other.data(), static_cast<std::streamsize>(other.size()));
  // The stamp sees the rewrite once the file system's clock has moved on.
  if (!GetParam()) std::filesystem::last_write_time(path_, before + std::chrono::seconds(1));
  EXPECT_EQ(ErrorOfCount(*db), kErrWrongPassword);
  std::filesystem::remove(path_);
  EXPECT_EQ(ErrorOfCount(*db), kErrFileNotFound);
  Replace("fixtures/billing.mdb");
  EXPECT_EQ(Count(*db, clients), 4);
}

// With the checks made at most every 100 ms, a rewrite in place is seen
// soon after even while statements come every 5 ms (the bound here is
// generous).
TEST_P(ChangeTest, RewriteSeenWithinTheCheckInterval) {
  options_.change_check_interval = DatabaseOptions().change_check_interval;
  Replace("fixtures/billing.mdb");
  auto db = Database::Open(path_, testing::kPassword, options_);
  EXPECT_EQ(Count(*db, u"Select Count(*) From Client"), 4);
  std::filesystem::copy_file(SharedPath("fixtures/billing-large.mdb"), path_,
                             std::filesystem::copy_options::overwrite_existing);  // in place
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  long count = 4;
  while (count == 4 && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    count = Count(*db, u"Select Count(*) From Client");
  }
  EXPECT_EQ(count, 20000);
}

// A writer rewrites the page of one table in place, in two writes a few
// milliseconds apart, turning two rows' Fees (and one Balance) to a cent
// more and back, while two connections read both sums: every answer is the
// old file's or the new file's (never a half-written page's), and none is
// an error.
TEST(WrittenWhileReadTest, EveryAnswerIsTheOldOrTheNewFile) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  const TempDir temp;
  const std::filesystem::path path = temp / "db.mdb";
  const std::string old_bytes = ReadFileBytes(SharedPath("fixtures/billing.mdb"));
  std::string new_bytes = old_bytes;
  const auto raw = [](std::int64_t value) { return std::string(reinterpret_cast<const char*>(&value), 8); };
  // ActivityLog's rows lie in the last kilobyte of one page: 200.00 in its
  // first half, 75.25 (Fee and Balance) in its second.
  const std::size_t page_end = (new_bytes.find(raw(752500)) / 4096 + 1) * 4096;
  const std::size_t half = page_end - 1024;
  for (const auto& [from, to] : {std::pair(2000000, 2000100), std::pair(752500, 752600)}) {
    for (std::size_t at = half; (at = new_bytes.find(raw(from), at)) < page_end; at += 8) new_bytes.replace(at, 8, raw(to));
  }
  WriteFileBytes(path, old_bytes);

  std::atomic<bool> done = false;
  std::thread writer([&] {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    for (int burst = 0; !done; ++burst) {
      for (const std::size_t at : {half, half + 512}) {
        file.seekp(static_cast<std::streamoff>(at));
        file.write((burst % 2 == 0 ? new_bytes : old_bytes).data() + at, 512).flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(80));
    }
  });
  std::mutex mutex;
  std::set<std::string> seen;  // the answers, errors among them
  const auto read = [&] {
    auto db = Database::Open(path, testing::kPassword, TestOptions());
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
         std::chrono::steady_clock::now() < end;) {
      std::string sums;
      const AutomationError error = ErrorOf([&] {
        const ResultSet rows = db->Execute(u"Select Sum(Fee), Sum(Balance) From ActivityLog");
        sums = Describe(rows.at(0, 0)) + " " + Describe(rows.at(0, 1));
      });
      const std::lock_guard<std::mutex> lock(mutex);
      seen.insert(error.number() != 0 ? ToUtf8(error.description()) : sums);
    }
  };
  std::thread other(read);
  read();
  other.join();
  done = true;
  writer.join();
  EXPECT_EQ(seen, (std::set<std::string>{"Currency 1490.25 Currency 1220.25", "Currency 1490.27 Currency 1220.26"}));
}

INSTANTIATE_TEST_SUITE_P(WatchOrStamp, ChangeTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) { return param.param ? "Watch" : "Stamp"; });

// The column types that the billing files never use, read from files that
// the desktop database product wrote: calculated columns agree with the
// columns they are computed from, and columns of types the engine cannot
// read are named (in the table's list and in the error of a statement that
// names one). (Binary bytes are compared with mdb-export's in
// mdb_export_test.cc, extended date/time values with their stored forms in
// values_test.cc.)
constexpr char kCalculated[] = "fixtures/access-samples/calcFieldTestV2010.accdb";
constexpr char kUnknown[] = "fixtures/access-samples/unsupportedFieldsTestV2007.accdb";

// One row of a result, its cells found by column name.
struct Row {
  const ResultSet& rows;
  std::size_t row;
  const Variant& operator[](std::u16string_view name) const { return rows.at(row, Column(rows, name)); }
  Text text(std::u16string_view name) const { return (*this)[name].AsText(); }
  double money(std::u16string_view name) const { return (*this)[name].AsCurrency().ToDouble(); }
  double decimal(std::u16string_view name) const { return (*this)[name].AsDecimal().ToDouble(); }
  static std::size_t Column(const ResultSet& rows, std::u16string_view name) {
    for (std::size_t c = 0; c < rows.columns.size(); ++c) {
      if (rows.columns[c].name == name) return c;
    }
    throw std::out_of_range(ToUtf8(Text(name)));
  }
};

bool Near(double a, double b, double relative) { return std::fabs(a - b) <= relative * std::fabs(b); }

// One calculated column of each kind of stored result.
TEST(CalculatedColumns, HoldTheValuesOfTheirExpressions) {
  QORVEL_REQUIRE_SHARED(kCalculated);
  const struct {
    const char16_t* column;
    JetType type;  // the result type of its expression
    std::function<bool(const Row&)> holds;
  } cases[] = {
      {u"LastFirst", JetType::kText,
       [](const Row& r) { return r.text(u"LastFirst") == r.text(u"LastName") + u", " + r.text(u"FirstName"); }},
      {u"MonthlySalary", JetType::kCurrency,
       [](const Row& r) {
         return r[u"MonthlySalary"].AsCurrency().raw() == std::llround(static_cast<double>(r[u"Salary"].AsCurrency().raw()) / 12);
       }},
      {u"IsRich", JetType::kBoolean,
       [](const Row& r) { return r[u"IsRich"].AsBoolean() == (r.money(u"Salary") > 100000); }},
      {u"AllNames", JetType::kMemo,
       [](const Row& r) {
         return r.text(u"AllNames") == r.text(u"LastName") + u", " + r.text(u"FirstName") + u"=" + r.text(u"LastFirst");
       }},
      {u"WeeklySalary", JetType::kNumeric,
       [](const Row& r) { return Near(r.decimal(u"WeeklySalary"), r.money(u"Salary") / 52, 1e-12); }},
      {u"FloatTest", JetType::kSingle,
       [](const Row& r) {
         return Near(r[u"FloatTest"].AsSingle(), r.money(u"Salary") * 0.13 / r.decimal(u"DecimalTest"), 1e-6);
       }},
  };
  const ResultSet rows = testing::OpenShared(kCalculated)->ReadTable(u"Table1");
  ASSERT_EQ(rows.row_count(), 4u);
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.column));
    EXPECT_EQ(rows.columns[Row::Column(rows, c.column)].type, c.type);
    for (std::size_t r = 0; r < rows.row_count(); ++r) {
      EXPECT_TRUE(c.holds(Row{rows, r})) << "row " << r << ": " << testing::Describe(Row{rows, r}[c.column]);
    }
  }
}

TEST(UnsupportedColumns, AreNamedAndAStatementNamingOneSaysWhy) {
  QORVEL_REQUIRE_SHARED(kUnknown);
  auto db = testing::OpenShared(kUnknown);
  const TableInfo* table = db->FindTable(u"Test");
  ASSERT_NE(table, nullptr);
  const std::vector<UnsupportedColumn> expected = {{u"UnknownVar", u"unknown type 70"},
                                                   {u"UnknownFix", u"unknown type 71"},
                                                   {u"UnknownComplex", u"attachment, multi-value or version history"}};
  ASSERT_EQ(table->unsupported.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(table->unsupported[i].name, expected[i].name);
    EXPECT_EQ(table->unsupported[i].kind, expected[i].kind);
    const AutomationError e = testing::ErrorOf([&] { db->Execute(u"Select [" + expected[i].name + u"] From Test"); });
    EXPECT_EQ(e.number(), kErrUnsupportedType) << ToUtf8(expected[i].name);
    EXPECT_NE(e.description().find(u"The column '" + expected[i].name + u"' of table 'Test' has a type the engine "
                                   u"does not support (" + expected[i].kind + u")."),
              Text::npos)
        << ToUtf8(e.description());
  }
  // A name that is no column at all is still unknown.
  EXPECT_EQ(testing::ErrorOf([&] { db->Execute(u"Select NoSuchColumn From Test"); }).number(), kErrNoSuchColumn);
}

// SQLite files written by other tools: the declared types and value texts
// the reader accepts whatever their letter case, and the names its tables
// get in the mirror.
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
  // One table a case, all in one file: read one after another, they also
  // make the mirror (ten tables attached at most) give up the least recently
  // used.
  TempDir temp;
  std::string sql;
  for (const auto& c : cases) {
    const std::string t = "T" + std::to_string(&c - cases);
    sql += "CREATE TABLE " + t + " (v " + c.declared + "); INSERT INTO " + t + " VALUES (" + c.value + ");";
  }
  WriteSqliteFile(temp / "types.sqlite", sql);
  auto db = Database::Open(temp / "types.sqlite", u"", TestOptions());
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.declared) + " " + c.value);
    const Text t = u"T" + FromUtf8(std::to_string(&c - cases));
    ASSERT_EQ(db->FindTable(t)->columns.size(), 1u);
    EXPECT_EQ(db->FindTable(t)->columns[0].type, c.type);
    ResultSet rows;
    EXPECT_EQ(testing::ErrorOf([&] { rows = db->ReadTable(t); }).number(), c.error);
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
  struct Case { std::vector<std::u16string> tables; std::vector<std::string> names; };
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
