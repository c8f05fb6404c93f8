// The engine's public face: a source opens, or fails with exactly the
// error of a lookup's own connection; rows keep their types and a rejected
// statement comes back as an error value; an export reports each table and
// counts every row.
#include "qorvel/database.h"

#include <gtest/gtest.h>

#include <numeric>

#include "jet/errors.h"
#include "modmain/mod_main.h"
#include "platform/jet_database.h"
#include "shared_dir.h"
#include "support/jet_support.h"

namespace qorvel {
namespace {

using testing::SharedPath;

// The error of a lookup's connection opened on `source`, or none.
std::optional<AutomationError> LookupError(const Text& source) {
  platform::JetConnection connection([] { return DateTime(0.0); });
  try {
    modmain::OpenDatabase(connection, source);
    return std::nullopt;
  } catch (const AutomationError& error) {
    return error;
  }
}

TEST(Database, OpensAsALookupsConnectionDoes) {
  QORVEL_REQUIRE_SHARED("fixtures/billing-otherpassword.mdb");
  const jet::testing::TempDir dir;
  jet::testing::WriteFileBytes(dir / "text.mdb", "not a database");
  const std::string sources[] = {
      SharedPath("fixtures/billing.mdb").string(), SharedPath("fixtures/billing-otherpassword.mdb").string(),
      (dir / "none.mdb").string(), (dir / "text.mdb").string(), dir.path().string(), "a;b"};
  for (const std::string& source : sources) {
    const Result<Database> opened = Database::Open(FromUtf8(source));
    const std::optional<AutomationError> expected = LookupError(FromUtf8(source));
    ASSERT_EQ(opened.ok(), !expected) << source;
    if (expected) {
      EXPECT_EQ(opened.error().number(), expected->number()) << source;
      EXPECT_EQ(opened.error().description(), expected->description()) << source;
    }
  }
}

TEST(Database, TypedRowsAndErrorValues) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  Result<Database> db = Database::Open(FromUtf8(SharedPath("fixtures/billing.mdb").string()));
  ASSERT_TRUE(db.ok());
  const Result<Rows> sum =
      db.value().Execute(u"Select Sum(Balance) As Total From Credit Where Active = 1 And PeopleID = 417");
  ASSERT_TRUE(sum.ok());
  ASSERT_EQ(sum.value().row_count(), 1u);
  EXPECT_EQ(sum.value().columns[0].name, u"Total");
  EXPECT_STREQ(ColumnTypeName(sum.value().columns[0].type), "Currency");
  EXPECT_EQ(sum.value().at(0, 0), Variant::FromCurrency(Currency::FromRaw(3305000)));
  const Result<Rows> rejected = db.value().Execute(u"Select Nope From Credit");
  ASSERT_FALSE(rejected.ok());
  EXPECT_EQ(rejected.error().number(), jet::kErrNoSuchColumn);
}

TEST(Database, ExportReportsEachTableAndReadsBack) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  const jet::testing::TempDir dir;
  Result<Database> db = Database::Open(FromUtf8(SharedPath("fixtures/billing.mdb").string()));
  ASSERT_TRUE(db.ok());
  const std::size_t tables = db.value().Tables().size();
  std::vector<std::size_t> reported;
  const Result<ExportSummary> exported =
      db.value().ExportToSqlite(dir / "copy.sqlite", [&](std::size_t done, std::size_t total) {
        EXPECT_EQ(total, tables);
        reported.push_back(done);
      });
  ASSERT_TRUE(exported.ok()) << exported.error().what();
  std::vector<std::size_t> each(tables);
  std::iota(each.begin(), each.end(), 1);
  EXPECT_EQ(reported, each);
  EXPECT_EQ(exported.value().tables.size(), tables);

  EXPECT_EQ(exported.value().rows, 45u);  // billing.mdb's rows (the copy's are the engine's tests')
  EXPECT_TRUE(Database::Open(FromUtf8((dir / "copy.sqlite").string())).ok());
  EXPECT_FALSE(db.value().ExportToSqlite(dir.path()).ok()) << "a folder is no file to write";
}

}  // namespace
}  // namespace qorvel
