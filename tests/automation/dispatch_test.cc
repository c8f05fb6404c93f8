// Late binding: the dispatch table, name and identifier lookup, argument
// coercion, the dispatch failures, and the call cases shared with the Windows
// tests (tests/cases/calls.tsv): every row by name through qorvel::Invoke,
// with typed arguments made from the parameter types of the dispatch table,
// the lookups' rows on the shared fixtures (and "$billing" also on a SQLite
// file with the same rows). The Windows tests run the same rows through
// QORVEL.dll, so both builds are held to one table.
#include "qorvel/dispatch.h"

#include <gtest/gtest.h>

#include <limits>

#include "cases/calls_table.h"
#include "platform/locale.h"
#include "platform/variant_conversion.h"
#include "qorvel/host.h"
#include "modmain/mod_main.h"
#include "qorvel/kx.h"
#include "shared_dir.h"
#include "support/fakes.h"
#include "support/jet_support.h"
#include "support/tsv_database.h"

namespace qorvel {
namespace {

using testing::EngineEnv;
using testing::LocaleScope;
using testing::RecordingEnv;

TEST(DispatchTable, FoundByIdentifierAndName) {
  ASSERT_EQ(Methods().size(), 24u);
  for (const MethodInfo& m : Methods()) {
    EXPECT_EQ(FindMethod(m.dispid), &m);
    EXPECT_EQ(FindMethod(m.name), &m);
  }
  EXPECT_EQ(FindMethod(u"creditamount"), FindMethod(u"CreditAmount"));
  EXPECT_EQ(FindMethod(u"CREDITAMOUNT")->number, 11);
  EXPECT_EQ(FindMethod(u"CreditAmount "), nullptr);
  // Just past either end, and far below the base (found by the late-binding
  // fuzzer: the distance to the base overflowed).
  for (const Long id : {Long{0x60030018}, Long{0x6002FFFF}, std::numeric_limits<Long>::min(), Long{-1609891368},
                        std::numeric_limits<Long>::max()}) {
    EXPECT_EQ(FindMethod(id), nullptr) << id;
  }
  EXPECT_EQ(Signature(*FindMethod(u"AgedInvBalances")),
            "AgedInvBalances(TargetDB As Text, PeopleID As Long [ByRef], StartDays As Integer "
            "[ByRef], EndDays As Integer [ByRef]) As Currency");
}

TEST(Invoke, DispatchFailuresAreReportedNotThrown) {
  RecordingEnv env;
  KX kx(&env);
  const struct {
    const char16_t* name;
    std::vector<Variant> args;
    DispatchError error;
    int arg_index;
  } cases[] = {
      {u"NoSuchMethod", {}, DispatchError::kUnknownName, -1},
      {u"FormatZip", {}, DispatchError::kBadParamCount, -1},
      {u"FormatZip", {Variant::FromText(u"1"), Variant::FromText(u"2")}, DispatchError::kBadParamCount, -1},
      {u"FormatMinutes", {Variant::FromText(u"abc")}, DispatchError::kTypeMismatch, 0},
      {u"FormatMinutes", {Variant::Null()}, DispatchError::kTypeMismatch, 0},
      {u"FormatMinutes", {Variant::FromText(u"99999999999")}, DispatchError::kOverflow, 0},
      {u"AgedInvBalances",
       {Variant::FromText(u""), Variant::FromLong(1), Variant::FromText(u"0"), Variant::FromLong(40000)},
       DispatchError::kOverflow, 3},
      {u"PymtsByDateRange",
       {Variant::FromText(u""), Variant::FromLong(1), Variant::FromText(u"not a date"),
        Variant::FromText(u"1/1/2011"), Variant::FromText(u"")},
       DispatchError::kTypeMismatch, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.name));
    const InvokeResult r = Invoke(kx, c.name, c.args);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.arg_index, c.arg_index);
    EXPECT_FALSE(r.message.empty());
  }
  EXPECT_EQ(Invoke(kx, Long{0x60030024}, {}).error, DispatchError::kMemberNotFound);
  LocaleScope scope("en-US");
  EXPECT_EQ(Invoke(kx, Long{0x60030017}, {}).value, Variant::FromText(u"MM/dd/yyyy"));
  EXPECT_EQ(StatusCode(DispatchError::kTypeMismatch), 0x80020005u);
}

TEST(Invoke, CoercesArgumentsAsTheAutomationDoes) {
  LocaleScope scope("en-US");
  RecordingEnv env;
  KX kx(&env);
  // The empty path returns the default without touching the database, so
  // only the coercion of the arguments is exercised.
  const std::pair<Variant, bool> people[] = {
      {Variant::FromText(u" 417 "), true}, {Variant::FromText(u"4.5"), true}, {Variant::FromDouble(2.5), true},
      {Variant::FromText(u"1,000"), true}, {Variant::FromBoolean(true), true}, {Variant::FromText(u"4 17"), false},
      {Variant::FromText(u""), false},
  };
  for (const auto& [arg, ok] : people) {
    std::vector<Variant> args = {Variant::FromText(u""), arg};
    EXPECT_EQ(Invoke(kx, u"CreditAmount", args).ok(), ok) << ToUtf8(DisplayText(arg));
  }
}

// The databases the table's placeholders stand for: those fixtures that
// exist (`missing` names the others), and `copy`, a SQLite file written
// from the fixture rows.
cases::Databases FixtureDatabases(const std::filesystem::path& copy, std::string& missing) {
  cases::Databases databases = {{u"$billing", {}}, {u"$large", {}}};
  for (const auto& [placeholder, file] : {std::pair{u"$billing", "billing.mdb"}, {u"$large", "billing-large.mdb"}}) {
    const std::filesystem::path path = testing::SharedPath("fixtures") / file;
    if (std::filesystem::exists(path)) {
      databases[placeholder].push_back(FromUtf8(path.string()));
    } else {
      missing += " " + path.string();
    }
  }
  if (!databases[u"$billing"].empty()) {
    EXPECT_EQ(testing::BuildSqliteFromTsv(testing::SharedPath("fixtures/billing"), copy), "");
    databases[u"$billing"].push_back(FromUtf8(copy.string()));
  }
  return databases;
}

TEST(CallsTable, EveryRowThroughLateBinding) {
  const jet::testing::TempDir temp;
  std::string error, missing;
  const cases::Databases databases = FixtureDatabases(temp / "billing.sqlite", missing);
  const std::vector<cases::Call> calls =
      cases::OnDatabases(cases::ReadCalls(QORVEL_CASES_DIR "/calls.tsv", error), databases, error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_GT(calls.size(), 40u);
  EngineEnv env;
  for (const cases::Call& call : calls) {
    SCOPED_TRACE("calls.tsv:" + std::to_string(call.line) + " " + call.method + " " + ToUtf8(call.database));
    LocaleScope scope(call.locale);
    KX kx(&env);
    const Text name = FromUtf8(call.method);
    const MethodInfo* method = FindMethod(name);
    ASSERT_NE(method, nullptr);
    ASSERT_EQ(call.args.size(), method->params.size());
    // Each argument of its parameter's type, read from its text by the
    // conversion the Windows build's arguments go through ("&H10" is 16).
    std::vector<Variant> args;
    for (std::size_t k = 0; k < call.args.size(); ++k) {
      args.push_back(
          platform::ChangeType(Variant::FromText(call.args[k]), method->params[k].type, platform::UserLocale()));
    }
    const InvokeResult result = Invoke(kx, name, args);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(result.value.type(), method->result);
    EXPECT_EQ(ToUtf8(DisplayText(result.value)), ToUtf8(call.expected));
    EXPECT_TRUE(env.boxes.empty()) << ToUtf8(env.boxes.empty() ? Text() : env.boxes[0].prompt);
  }
  modmain::ResetThisThread();
  if (!missing.empty()) GTEST_SKIP() << "lookup rows skipped on the absent shared fixtures:" << missing;
}
}  // namespace
}  // namespace qorvel
