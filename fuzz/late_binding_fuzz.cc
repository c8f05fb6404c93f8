// Fuzz target for late binding: qorvel::Invoke on every method of _KX, by
// name (as listed, in another letter case, or any text) and by identifier
// (the methods' own and any number), with any number of arguments of any
// Variant type and value. The lookups run on a recording environment whose
// fake connection answers nothing, so no file is opened. Invoke promises
// never to throw; beyond that a call must either succeed with a result of
// the method's result type or fail with the dispatch error that fits: an
// unknown name or identifier, a wrong argument count, or an argument that
// cannot be converted (type mismatch or overflow) at a valid index.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_text.h"
#include "modmain/mod_main.h"
#include "qorvel/dispatch.h"
#include "qorvel/kx.h"
#include "support/fakes.h"

namespace qorvel {
namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "late_binding_fuzz: %s: %s\n", what, detail.c_str());
  std::abort();
}

Text ConsumeText(FuzzedDataProvider& in) { return fuzz::ConsumeText(in, 32); }

Variant ConsumeVariant(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 12)) {
    case 0: return Variant();
    case 1: return Variant::Null();
    case 2: return Variant::FromInteger(in.ConsumeIntegral<Integer>());
    case 3: return Variant::FromLong(in.ConsumeIntegral<Long>());
    case 4: return Variant::FromSingle(in.ConsumeFloatingPoint<float>());
    case 5: return Variant::FromDouble(in.ConsumeFloatingPoint<double>());
    case 6: return Variant::FromCurrency(Currency::FromRaw(in.ConsumeIntegral<std::int64_t>()));
    case 7: return Variant::FromDate(DateTime(in.ConsumeFloatingPoint<double>()));
    case 8: return Variant::FromBoolean(in.ConsumeBool());
    case 9: return Variant::FromByte(in.ConsumeIntegral<std::uint8_t>());
    case 10: {
      Decimal d;
      d.negative = in.ConsumeBool();
      d.scale = in.ConsumeIntegralInRange<std::uint8_t>(0, 28);
      d.hi = in.ConsumeIntegral<std::uint32_t>();
      d.lo = in.ConsumeIntegral<std::uint64_t>();
      return Variant::FromDecimal(d);
    }
    default: return Variant::FromText(ConsumeText(in));
  }
}

void RunOne(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const auto methods = Methods();
  const MethodInfo& listed = methods[in.ConsumeIntegralInRange<std::size_t>(0, methods.size() - 1)];
  const int how = in.ConsumeIntegralInRange(0, 4);
  Text name(listed.name);
  Long dispid = listed.dispid;
  if (how == 1) {
    for (char16_t& c : name) {
      if (in.ConsumeBool() && c < 128) c = static_cast<char16_t>(c ^ 0x20);
    }
  } else if (how == 2) {
    name = ConsumeText(in);
  } else if (how == 4) {
    dispid = in.ConsumeBool() ? in.ConsumeIntegral<Long>() : kDispIdBase + in.ConsumeIntegralInRange<Long>(-2, 30);
  }
  const std::size_t count = in.ConsumeBool() ? listed.params.size() : in.ConsumeIntegralInRange<std::size_t>(0, 10);
  std::vector<Variant> args;
  for (std::size_t i = 0; i < count; ++i) {
    // A plausible path sometimes, so that the lookups go as far as the
    // fake connection.
    if (i == 0 && in.ConsumeIntegralInRange(0, 3) == 0) {
      args.push_back(Variant::FromText(u"billing.mdb"));
    } else {
      args.push_back(ConsumeVariant(in));
    }
  }
  const std::vector<Variant> before = args;

  testing::RecordingEnv env;
  KX kx(&env);
  modmain::ResetThisThread();
  const bool by_id = how >= 3;
  const InvokeResult r = by_id ? Invoke(kx, dispid, args) : Invoke(kx, name, args);
  modmain::ResetThisThread();
  const MethodInfo* method = by_id ? FindMethod(dispid) : FindMethod(name);
  const std::string what = method != nullptr ? ToUtf8(method->name) : std::string("unknown method");
  for (std::size_t i = 0; i < args.size(); ++i) {
    // A NaN never equals itself: for floating types the type must stay.
    const VarType type = before[i].type();
    const bool floating = type == VarType::kDouble || type == VarType::kSingle || type == VarType::kDate;
    if (!(args[i] == before[i]) && !(floating && args[i].type() == type)) {
      Fail("an argument changed", what);
    }
  }
  if (method == nullptr) {
    if (r.error != (by_id ? DispatchError::kMemberNotFound : DispatchError::kUnknownName)) {
      Fail("an unknown method did not fail as unknown", r.message);
    }
    return;
  }
  if (args.size() != method->params.size()) {
    if (r.error != DispatchError::kBadParamCount) Fail("a wrong argument count passed", what);
    return;
  }
  switch (r.error) {
    case DispatchError::kNone:
      if (r.value.type() != method->result) Fail("the result has another type", what);
      break;
    case DispatchError::kTypeMismatch:
    case DispatchError::kOverflow:
      if (r.arg_index < 0 || static_cast<std::size_t>(r.arg_index) >= args.size()) {
        Fail("a conversion error without its argument", what);
      }
      break;
    default: Fail("an unexpected dispatch error", what + ": " + r.message);
  }
}

}  // namespace
}  // namespace qorvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qorvel::RunOne(data, size);
  return 0;
}
