// Moving a database to the server: each Jet type's server type, every
// value read back through the back end as the file gives it; billing.mdb
// moved, its GUIDs in the server's byte order and the lookup rows of the
// call table answered from the server as from the file; and a target that
// has the tables refused unless replaced, in one transaction.
#include <gtest/gtest.h>

#include "cases/calls_table.h"
#include "jet/errors.h"
#include "modmain/mod_main.h"
#include "pg/export.h"
#include "pg_support.h"
#include "qorvel/dispatch.h"
#include "qorvel/host.h"
#include "qorvel/kx.h"
#include "shared_dir.h"
#include "support/fakes.h"
#include "support/jet_support.h"

namespace qorvel::pg {
namespace {

class Export : public testing::ServerTest {};

TEST_F(Export, TypesAndValuesRoundTrip) {
  QORVEL_REQUIRE_SHARED("fixtures/types.mdb");
  for (const char* file : {"fixtures/types.mdb", "fixtures/access-samples/binIdxTestV2010.accdb"}) {
    SCOPED_TRACE(file);
    const auto source = jet::testing::OpenShared(file);
    ExportDatabase(*source, uri_, {});
    const auto database = Database::Open(uri_, testing::Options());
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
  EXPECT_EQ(testing::Sql(uri_, "SELECT string_agg(attname || ' ' || format_type(atttypid, atttypmod), '; ' ORDER BY "
                              "attnum) || '; ' FROM pg_attribute WHERE attrelid = 'alltypes'::regclass AND attnum > 0")[0][0],
            "id integer; bytecol smallint; intcol smallint; longcol integer; singlecol real; "
            "doublecol double precision; moneycol numeric(19,4); datecol timestamp without time zone; "
            "textcol character varying(255); memocol text; boolcol boolean; guidcol uuid; numericcol numeric(18,4); ");
}

TEST_F(Export, BillingAnswersTheCallTableAndIsReplacedWhole) {
  QORVEL_REQUIRE_SHARED("fixtures/billing.mdb");
  const auto source = jet::testing::OpenShared("fixtures/billing.mdb");
  EXPECT_EQ(ExportDatabase(*source, uri_, {}).tables, 7u);
  // The file's primary keys and indexes, and one on each column the lookups
  // test or join on where the file has none.
  EXPECT_EQ(testing::Sql(uri_, "SELECT string_agg(d, '; ' ORDER BY d) || '; ' FROM (SELECT tablename || ': ' || "
                              "regexp_replace(indexdef, '.* USING btree ', '') || coalesce(substring(indexname from "
                              "'_pkey$'), '') AS d FROM pg_indexes WHERE schemaname = 'public') AS i")[0][0],
            "activitylog: (guid)_pkey; activitylog: (invoicenumber); activitylog: (peopleid); "
            "caseclientcontact: (peopleid); client: (peopleid)_pkey; credit: (peopleid); "
            "invoice: (peopleid); ltcbenefit: (peopleid); ltcbenefit: (upper((benefittype)::text)); "
            "payment: (activitylogguid); ");
  // The bytes of a GUID as the file stores them, in the server's order.
  EXPECT_EQ(testing::Sql(uri_, "SELECT encode(uuid_send(guid), 'hex') FROM activitylog WHERE invoicenumber = 980"),
            (std::vector<std::vector<std::string>>{{"a0000001000040008000000000000417"}}));

  // The lookup rows, late bound as every host calls them.
  std::string error;
  const std::vector<cases::Call> calls = cases::OnDatabases(
      cases::ReadCalls(QORVEL_CASES_DIR "/calls.tsv", error), {{u"$billing", {FromUtf8(uri_)}}, {u"$large", {}}}, error);
  ASSERT_TRUE(error.empty() && calls.size() > 20) << error;
  qorvel::testing::EngineEnv env;
  for (const cases::Call& call : calls) {
    if (call.database.empty()) continue;
    SCOPED_TRACE("calls.tsv:" + std::to_string(call.line) + " " + call.method);
    qorvel::testing::LocaleScope scope(call.locale);
    KX kx(&env);
    std::vector<Variant> args;
    for (const Text& arg : call.args) args.push_back(Variant::FromText(arg));
    const InvokeResult result = Invoke(kx, FromUtf8(call.method), args);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(ToUtf8(DisplayText(result.value)), ToUtf8(call.expected));
  }
  EXPECT_TRUE(env.boxes.empty()) << ToUtf8(env.boxes.empty() ? Text() : env.boxes[0].prompt);
  modmain::ResetThisThread();

  const auto counts = [&] {
    return testing::Sql(uri_, "SELECT count(*) FROM pg_class WHERE relname = 'payment' AND relkind = 'r' "
                              "UNION ALL SELECT count(*) FROM payment")[1][0];
  };
  const std::string rows = counts();
  const struct {
    const char* what;
    bool replace;
    bool stop_after_first_table;
    Long error;
  } cases[] = {
      {"the tables are there", false, false, jet::kErrEngineFailure},
      {"stopped after dropping and copying one table", true, true, jet::kErrEngineFailure},
      {"replaced", true, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExportOptions options;
    options.replace = c.replace;
    const AutomationError failure = jet::testing::ErrorOf([&] {
      ExportDatabase(*source, uri_, options, [&](const ExportProgress&) { return !c.stop_after_first_table; });
    });
    EXPECT_EQ(failure.number(), c.error) << ToUtf8(failure.description());
    EXPECT_EQ(counts(), rows);
  }
}

}  // namespace
}  // namespace qorvel::pg
