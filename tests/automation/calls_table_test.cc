// The shared call cases (tests/cases/calls.tsv) through late binding on
// Linux: every row by name through qorvel::Invoke, with typed arguments
// made from the parameter types of the dispatch table, and the arguments
// checked to come back as passed. The Windows tests run the same rows
// through QORVEL.dll, so both builds are held to one table.
#include <gtest/gtest.h>

#include "cases/calls_table.h"
#include "qorvel/dispatch.h"
#include "qorvel/host.h"
#include "qorvel/kx.h"
#include "support/fakes.h"

namespace qorvel {
namespace {

// An argument of the table as a Variant of its parameter's type.
Variant Argument(const std::u16string& text, VarType type) {
  switch (type) {
    case VarType::kLong: return Variant::FromLong(static_cast<Long>(std::stol(ToUtf8(text))));
    case VarType::kInteger: return Variant::FromInteger(static_cast<Integer>(std::stoi(ToUtf8(text))));
    case VarType::kBoolean: return Variant::FromBoolean(text == u"True");
    default: return Variant::FromText(text);
  }
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
    const std::vector<Variant> passed = args;
    const InvokeResult result = Invoke(kx, name, args);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(result.value, Variant::FromText(call.expected)) << ToUtf8(DisplayText(result.value));
    EXPECT_EQ(args, passed);
    EXPECT_TRUE(env.boxes.empty());
  }
}

}  // namespace
}  // namespace qorvel
