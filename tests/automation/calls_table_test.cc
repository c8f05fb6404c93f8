// The shared call cases (tests/cases/calls.tsv) through late binding on
// Linux: every row by name through qorvel::Invoke, with typed arguments
// made from the parameter types of the dispatch table. The Windows tests run
// the same rows through QORVEL.dll, so both builds are held to one table.
#include <gtest/gtest.h>

#include "cases/calls_table.h"
#include "platform/locale.h"
#include "platform/variant_conversion.h"
#include "qorvel/dispatch.h"
#include "qorvel/host.h"
#include "qorvel/kx.h"
#include "support/fakes.h"

namespace qorvel {
namespace {

// An argument of the table as a Variant of its parameter's type, read from
// its text by the conversion the Windows build's arguments go through
// ("&H10" is 16, "#TRUE#" is True).
Variant Argument(const std::u16string& text, VarType type) {
  return platform::ChangeType(Variant::FromText(text), type, platform::UserLocale());
}

TEST(CallsTable, EveryRowThroughLateBinding) {
  std::string error;
  const std::vector<cases::Call> calls = cases::ReadCalls(QORVEL_CASES_DIR "/calls.tsv", error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_GT(calls.size(), 40u);
  testing::RecordingEnv env;
  for (const cases::Call& call : calls) {
    SCOPED_TRACE("calls.tsv:" + std::to_string(call.line) + " " + call.method);
    testing::LocaleScope scope(call.locale);
    KX kx(&env);
    const Text name = FromUtf8(call.method);
    const MethodInfo* method = FindMethod(name);
    ASSERT_NE(method, nullptr);
    ASSERT_EQ(call.args.size(), method->params.size());
    std::vector<Variant> args;
    for (std::size_t k = 0; k < call.args.size(); ++k) {
      args.push_back(Argument(call.args[k], method->params[k].type));
    }
    const InvokeResult result = Invoke(kx, name, args);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(result.value, Variant::FromText(call.expected)) << ToUtf8(DisplayText(result.value));
    EXPECT_TRUE(env.boxes.empty());
  }
}

}  // namespace
}  // namespace qorvel
