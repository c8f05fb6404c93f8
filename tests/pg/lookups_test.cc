// The lookups against a real PostgreSQL server where it differs from a
// file: a database made by another tool (mixed-case quoted names, money as
// numeric(15,2)) through the lookups and the dialect; the connection's
// credentials, hosts and roles; and the server stopped and started between
// calls. (billing.mdb moved to the server answers the call table's lookup
// rows: export_test.)
#include <gtest/gtest.h>

#include <cstdlib>

#include "modmain/mod_main.h"
#include "pg_support.h"
#include "qorvel/host.h"
#include "qorvel/kx.h"
#include "support/fakes.h"

namespace qorvel::pg {
namespace {

using qorvel::testing::EngineEnv;
using qorvel::testing::LocaleScope;

class Server : public testing::ServerTest {};

// Tables as another tool migrates them: quoted mixed-case names, money as
// numeric(15,2), a Yes/No as boolean, text in other letter case.
void CreateForeignTables(const std::string& uri) {
  testing::Sql(uri, R"(
    CREATE TABLE "Credit" ("PeopleID" integer, "Balance" numeric(15,2), "Active" smallint, "Retainer" boolean);
    INSERT INTO "Credit" VALUES (417, 100.10, 1, true), (417, 0.20, 1, false), (417, 5, 0, true), (417, NULL, 1, true);
    CREATE TABLE "ActivityLog" ("GUID" uuid PRIMARY KEY, "PeopleID" integer, "Active" smallint, "CareProviderID" text);
    INSERT INTO "ActivityLog" VALUES ('a0000001-0000-4000-8000-000000000417', 417, 1, 'hh1');
    CREATE TABLE "Payment" ("ActivityLogGUID" uuid, "Active" smallint, "PaymentDate" timestamp, "Payment" numeric(15,2));
    INSERT INTO "Payment" VALUES ('a0000001-0000-4000-8000-000000000417', 1, '2011-03-31 23:00', 10.10),
      ('a0000001-0000-4000-8000-000000000417', 1, '2011-01-20', 60), ('a0000001-0000-4000-8000-000000000417', 1, NULL, 5);
    CREATE TABLE "LTCBenefit" ("PeopleID" integer, "BenefitType" varchar(40), "Enabled" smallint);
    INSERT INTO "LTCBenefit" VALUES (417, 'Respite', 1);
    GRANT SELECT ON ALL TABLES IN SCHEMA public TO PUBLIC;
  )");
}

TEST_F(Server, ForeignDatabaseThroughLookupsAndDialect) {
  CreateForeignTables(uri_);
  const LocaleScope locale("en-US");
  EngineEnv env;
  KX kx(&env);
  const Text db = FromUtf8(uri_);
  EXPECT_EQ(kx.CreditAmount(db, 417), Currency::FromRaw(1003000));  // exactly 100.30
  EXPECT_EQ(kx.CreditAmountRetainer(db, 417), Currency());          // Retainer = 1 is never true of a Yes/No
  EXPECT_EQ(kx.LastPaymentAmt(db, 417), Currency::FromRaw(101000));  // the Null date sorts last
  EXPECT_EQ(kx.LastPaymentDate(db, 417), u"03/31/2011");
  EXPECT_EQ(kx.LTCBenefitTypeEnabledYN(db, 417, u"RESPITE"), u"Yes");
  EXPECT_EQ(kx.PymtsByDateRange(db, 417, DateTime(40603), DateTime(40633), u"HH1"), Currency::FromRaw(101000));
  EXPECT_TRUE(env.boxes.empty());
  modmain::ResetThisThread();

  const auto database = Database::Open(uri_, testing::Options());
  struct Case {
    const char16_t* statement;
    const char* first_value;  // DisplayText of the first row's first value, or the error number
  };
  const Case cases[] = {
      {u"Select Count(*) From credit Where Retainer = -1", "3"},
      {u"Select Sum(Balance) From Credit Where PeopleID = 0", ""},  // Null
      {u"Select Sum(Balance) From Credit", "105.3"},
      {u"Select PaymentDate From Payment Order By PaymentDate", ""},
      {u"Select DateDiff('d', PaymentDate, #2011-04-01#) From Payment Where Payment = 10.1", "1"},
      {u"Select DateValue(PaymentDate) From Payment Where Payment >= 10 Order By Payment", "3/31/2011"},
      {u"Select GUID From ActivityLog Where GUID = '{A0000001-0000-4000-8000-000000000417}'",
       "{A0000001-0000-4000-8000-000000000417}"},
      {u"Select Max (CareProviderID) From ActivityLog Where CareProviderID = 'HH1'", "hh1"},
      {u"Select Nowhere From Credit", "-2147217904"},
      {u"Select PeopleID From Nowhere", "-2147217865"},
      {u"Select From Credit", "-2147217900"},
  };
  for (const Case& c : cases) {
    std::string got;
    try {
      const jet::ResultSet rows = database->Execute(c.statement);
      got = rows.row_count() == 0 ? "no rows" : ToUtf8(DisplayText(rows.at(0, 0)));
    } catch (const AutomationError& e) {
      got = std::to_string(e.number());
    }
    EXPECT_EQ(got, c.first_value) << ToUtf8(c.statement);
  }
}

TEST_F(Server, ConnectionsCredentialsHostsAndRoles) {
  CreateForeignTables(uri_);
  testing::Sql(uri_, R"(
    DO $$ BEGIN
      CREATE ROLE password_login NOLOGIN;
      CREATE ROLE pw_user LOGIN PASSWORD 'right horse' IN ROLE password_login;
      CREATE ROLE jet_user LOGIN PASSWORD 'PZqfnWM4062' IN ROLE password_login;
      CREATE ROLE reader LOGIN;
    EXCEPTION WHEN duplicate_object THEN NULL; END $$;
    ALTER ROLE reader SET default_transaction_read_only = on;
    ALTER ROLE reader SET statement_timeout = '5s';
  )");
  setenv("PGPASSFILE", "/nonexistent", 1);
  unsetenv("PGPASSWORD");
  const std::string socket = server_.substr(server_.find("host=") + 5, server_.find('&') - server_.find("host=") - 5);
  const auto uri = [&](const std::string& user, const std::string& query) {
    return "postgresql://" + user + "@/" + database_ + "?host=" + socket + query;
  };
  struct Case {
    const char* what;
    std::string uri;
    std::int64_t credit;  // CreditAmount of 417, 0 when it cannot connect
  };
  const Case cases[] = {
      {"the password in the URI", uri("pw_user:right%20horse", ""), 1003000},
      {"a wrong password", uri("pw_user:wrong%20horse", ""), 0},
      {"a wrong password parameter", uri("pw_user", "&password=wrong%20horse"), 0},
      {"the Jet database password is never sent", uri("jet_user", ""), 0},
      {"a read-only role with a statement timeout", uri("reader", ""), 1003000},
      {"two hosts, the first down", uri("reader", "").replace(uri("reader", "").find(socket), 0, "/nowhere,"), 1003000},
  };
  const LocaleScope locale("en-US");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    modmain::ResetThisThread();
    EngineEnv env;
    KX kx(&env);
    EXPECT_EQ(kx.CreditAmount(FromUtf8(c.uri), 417), Currency::FromRaw(c.credit));
    ASSERT_EQ(env.boxes.size(), c.credit == 0 ? 1u : 0u);
    if (!env.boxes.empty()) {
      const std::string box = ToUtf8(env.boxes[0].prompt);
      EXPECT_EQ(box.find("horse"), std::string::npos) << box;
      EXPECT_NE(box.find("Unable to connect to postgresql://"), std::string::npos) << box;
    }
  }
  modmain::ResetThisThread();
}

TEST_F(Server, OutageFailsTheCallDuringItAndLaterCallsReconnect) {
  const std::string dir = ClusterBase() + "/outage";
  const auto script = [&](const std::string& command) {
    return std::system((std::string(QORVEL_PG_SERVER_SCRIPT " ") + command + " " + dir + " >/dev/null").c_str());
  };
  script("stop");
  ASSERT_EQ(script("start"), 0);
  const std::string uri = "postgresql:///postgres?host=" + dir + "/socket&user=postgres";
  CreateForeignTables(uri);
  const LocaleScope locale("en-US");
  EngineEnv env;
  KX kx(&env);
  struct Step {
    const char* server;   // the command to the server first, if any
    std::int64_t credit;  // CreditAmount of 417
  };
  const Step steps[] = {{nullptr, 1003000}, {"down", -100}, {nullptr, 0}, {"up", 1003000}, {nullptr, 1003000}};
  for (const Step& step : steps) {
    if (step.server != nullptr) {
      ASSERT_EQ(script(step.server), 0);
    }
    EXPECT_EQ(kx.CreditAmount(FromUtf8(uri), 417), Currency::FromRaw(step.credit)) << (step.server ? step.server : "");
  }
  // The failed statement's box and the failed connection's.
  ASSERT_EQ(env.boxes.size(), 2u);
  EXPECT_NE(ToUtf8(env.boxes[0].prompt).find("lost"), std::string::npos) << ToUtf8(env.boxes[0].prompt);
  modmain::ResetThisThread();
  script("stop");
}

}  // namespace
}  // namespace qorvel::pg
