// Moving a database to the server: each Jet type's server type, every
// value read back through the back end as the file gives it, and a target
// that has the tables refused unless replaced, in one transaction.
#include <gtest/gtest.h>

#include "jet/errors.h"
#include "jet/values.h"
#include "pg/database.h"
#include "pg/export.h"
#include "pg_support.h"
#include "qorvel/host.h"
#include "shared_dir.h"
#include "support/jet_support.h"

namespace qorvel::pg {
namespace {

DatabaseOptions Options() {
  return {[](std::u16string_view t) { return *jet::ParseIsoDateTime(t); }, [] { return DateTime(40647.5); }};
}

TEST(Export, TypesAndValuesRoundTrip) {
  QORVEL_REQUIRE_SERVER(server);
  QORVEL_REQUIRE_SHARED("fixtures/types.mdb");
  const testing::ScratchDatabase scratch(server);
  for (const char* file : {"fixtures/types.mdb", "fixtures/access-samples/binIdxTestV2010.accdb"}) {
    SCOPED_TRACE(file);
    const auto source = jet::testing::OpenShared(file);
    ExportDatabase(*source, scratch.uri(), {});
    const auto database = Database::Open(scratch.uri(), Options());
    for (const jet::TableInfo& table : source->tables()) {
      const jet::ResultSet rows = source->ReadTable(table.name);
      for (std::size_t c = 0; c < table.columns.size(); ++c) {
        const jet::ResultSet back =
            database->Execute(u"Select [" + table.columns[c].name + u"] From [" + table.name + u"]");
        ASSERT_EQ(back.row_count(), rows.row_count());
        for (std::size_t r = 0; r < rows.row_count(); ++r) {
          EXPECT_EQ(ToUtf8(DisplayText(back.at(r, 0))), ToUtf8(DisplayText(rows.at(r, c))))
              << ToUtf8(table.name) << "." << ToUtf8(table.columns[c].name) << " row " << r;
        }
      }
    }
  }
  std::string types;
  for (const auto& row : testing::Sql(scratch.uri(), "SELECT attname || ' ' || format_type(atttypid, atttypmod) "
                                                     "FROM pg_attribute WHERE attrelid = 'alltypes'::regclass "
                                                     "AND attnum > 0 ORDER BY attnum")) {
    types += row[0] + "; ";
  }
  EXPECT_EQ(types, "id integer; bytecol smallint; intcol smallint; longcol integer; singlecol real; "
                   "doublecol double precision; moneycol numeric(19,4); datecol timestamp without time zone; "
                   "textcol character varying(255); memocol text; boolcol boolean; guidcol uuid; "
                   "numericcol numeric(18,4); ");
}

TEST(Export, RefusedWithoutReplaceAndAtomic) {
  QORVEL_REQUIRE_SERVER(server);
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  const testing::ScratchDatabase scratch(server);
  const auto source = jet::testing::OpenShared("fixtures/billing.mdb");
  const ExportSummary summary = ExportDatabase(*source, scratch.uri(), {});
  EXPECT_EQ(summary.tables, 7u);
  // The file's primary keys and indexes, and one on each column the lookups
  // test or join on where the file has none.
  std::string indexes;
  for (const auto& row : testing::Sql(scratch.uri(), "SELECT tablename || ': ' || regexp_replace(indexdef, "
                                                     "'.* USING btree ', '') || coalesce(substring(indexname from '_pkey$'), '') "
                                                     "FROM pg_indexes WHERE schemaname = 'public' ORDER BY 1")) {
    indexes += row[0] + "; ";
  }
  EXPECT_EQ(indexes, "activitylog: (guid)_pkey; activitylog: (invoicenumber); activitylog: (peopleid); "
                     "caseclientcontact: (peopleid); client: (peopleid)_pkey; credit: (peopleid); "
                     "invoice: (peopleid); ltcbenefit: (peopleid); ltcbenefit: (upper((benefittype)::text)); "
                     "payment: (activitylogguid); ");
  const auto counts = [&] {
    return testing::Sql(scratch.uri(), "SELECT count(*) FROM pg_class WHERE relname = 'payment' AND relkind = 'r' "
                                       "UNION ALL SELECT count(*) FROM payment")[1][0];
  };
  const std::string rows = counts();
  struct Case {
    const char* what;
    bool replace;
    bool stop_after_first_table;
    Long error;
  };
  const Case cases[] = {
      {"the tables are there", false, false, jet::kErrEngineFailure},
      {"stopped after dropping and copying one table", true, true, jet::kErrEngineFailure},
      {"replaced", true, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExportOptions options;
    options.replace = c.replace;
    const AutomationError error = jet::testing::ErrorOf([&] {
      ExportDatabase(*source, scratch.uri(), options, [&](const ExportProgress&) { return !c.stop_after_first_table; });
    });
    EXPECT_EQ(error.number(), c.error) << ToUtf8(error.description());
    EXPECT_EQ(counts(), rows);
  }
}

}  // namespace
}  // namespace qorvel::pg
