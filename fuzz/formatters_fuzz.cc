// Fuzz target for the seven display formatters of KX.
//
// Each input picks a locale of the locale table and supplies arbitrary
// UTF-16 texts (lone surrogates, U+0000, separators, digits) and numbers,
// which go to FormatPhone, FormatZip, FormatSS, FormatName, FormatAddress,
// FormatAddress2 and FormatMinutes, each early bound through _KX and late
// bound through Invoke. A method that throws ends the process (the methods
// are noexcept), so libFuzzer reports it like a crash; the sanitizers report
// memory and undefined-behaviour faults. Beyond that, every result must be
// the method's normal text or its error result, which is checked here by
// the shape each formatter promises; a result of another shape aborts.
//
// The input is read with FuzzedDataProvider, the header that comes with
// libFuzzer (the fuzz build needs clang in any case).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_text.h"
#include "kx/formatters.h"
#include "qorvel/env.h"
#include "platform/locale.h"
#include "qorvel/automation_error.h"
#include "qorvel/dispatch.h"
#include "qorvel/kx.h"

namespace qorvel {
namespace {

const Text kError = u"Error in QORVEL.DLL";

// Counts message boxes; the formatters have no database.
class CountingEnv final : public Env {
 public:
  void ShowMessageBox(const Text&, Long, const std::optional<Text>&) override { ++boxes; }
  std::unique_ptr<Connection> CreateConnection() override { return nullptr; }
  std::unique_ptr<Recordset> CreateRecordset() override { return nullptr; }
  DateTime Now() override { return DateTime(); }
  int boxes = 0;
};

[[noreturn]] void Fail(const char* what, const Text& detail) {
  std::fprintf(stderr, "formatters_fuzz: %s: \"%s\"\n", what, ToUtf8(detail).c_str());
  std::abort();
}

void Check(bool ok, const char* what, const Text& detail) {
  if (!ok) Fail(what, detail);
}

Text ConsumeText(FuzzedDataProvider& in) { return fuzz::ConsumeText(in, 64); }

// The late-bound call; by-reference texts must come back as passed.
Text CallLate(_KX& kx, TextView method, std::vector<Variant> args) {
  const std::vector<Variant> before = args;
  const InvokeResult r = Invoke(kx, method, args);
  if (!r.ok()) Fail("late-bound call failed", FromUtf8(r.message));
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (before[i].type() == VarType::kText) Check(args[i] == before[i], "argument changed", Text(method));
  }
  if (r.value.type() != VarType::kText) Fail("result is not text", Text(method));
  return r.value.AsText();
}

Text Trimmed(const Text& text) { return Text(TrimBlanks(text)); }

void CheckPhone(const Text& format, const Text& phone, const Text& result) {
  if (!platform::UserLocale().IsNumeric(phone)) {
    Check(result == phone, "FormatPhone changed a phone that is not numeric", result);
    return;
  }
  const Text pattern = format.empty() ? Text(kx::kHousePhoneFormat) : format;
  Check(result.size() == pattern.size(), "FormatPhone length", result);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != u'#' && pattern[i] != u'@') Check(result[i] == pattern[i], "FormatPhone pattern", result);
  }
}

void CheckZip(const Text& zip, const Text& result) {
  const Text t = Trimmed(zip);
  if (result == t) return;
  Check(t.size() == 9, "FormatZip changed a value that is not nine long", result);
  Check(result == kError || result == t.substr(0, 5) + u"-" + t.substr(5), "FormatZip shape", result);
}

void CheckSS(const Text& number, const Text& result) {
  const Text t = Trimmed(number);
  if (t.size() != 9) {
    Check(result == t, "FormatSS changed a value that is not nine long", result);
    return;
  }
  // No code page of the table has a code that overflows the decoding.
  Check(result.size() >= 11 && result[3] == u'-' && result[6] == u'-', "FormatSS shape", result);
}

void CheckName(Boolean fml, const Text& result) {
  Check(!result.empty(), "FormatName empty", result);
  if (!IsTrue(fml)) Check(result.find(u", ") != Text::npos, "FormatName without comma", result);
}

// The address as the free function gives it with FormatZip called directly
// and its error text in place of an error.
kx::ZipFormatter DirectZip() {
  return [](const Text& zip) {
    try {
      return kx::FormatZip(zip);
    } catch (const AutomationError&) {
      return kError;
    }
  };
}

void CheckMinutes(Long minutes, const Text& result) {
  long long hours = 0;
  int rest = -1;
  const std::string text = ToUtf8(result);
  Check(std::sscanf(text.c_str(), "%lld hr %2d mn", &hours, &rest) == 2, "FormatMinutes shape", result);
  Check(rest >= 0 && rest <= 59 && hours * 60 + rest == minutes, "FormatMinutes value", result);
  Check(text == std::to_string(hours) + " hr " + (rest < 10 ? "0" : "") + std::to_string(rest) + " mn",
        "FormatMinutes text", result);
}

const std::vector<std::shared_ptr<const platform::Locale>>& Locales() {
  static const auto* locales = [] {
    auto* all = new std::vector<std::shared_ptr<const platform::Locale>>;
    for (const std::string& name : platform::LocaleNames()) all->push_back(platform::FindLocale(name));
    return all;
  }();
  return *locales;
}

void RunOne(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const auto& locales = Locales();
  platform::SetUserLocale(locales[in.ConsumeIntegralInRange<std::size_t>(0, locales.size() - 1)]);

  const Text a = ConsumeText(in);
  const Text b = ConsumeText(in);
  const Text c = ConsumeText(in);
  const Text d = ConsumeText(in);
  const Text e = ConsumeText(in);
  const Text f = ConsumeText(in);
  const auto flag = in.ConsumeIntegral<Boolean>();
  const auto minutes = in.ConsumeIntegral<Long>();

  CountingEnv env;
  KX kx(&env);
  const auto T = [](const Text& t) { return Variant::FromText(t); };

  const Text phone = kx.FormatPhone(a, b);
  CheckPhone(a, b, phone);
  Check(CallLate(kx, u"FormatPhone", {T(a), T(b)}) == phone, "FormatPhone late", phone);

  const Text zip = kx.FormatZip(a);
  CheckZip(a, zip);
  Check(CallLate(kx, u"FormatZip", {T(a)}) == zip, "FormatZip late", zip);

  const Text ss = kx.FormatSS(b);
  CheckSS(b, ss);
  Check(CallLate(kx, u"FormatSS", {T(b)}) == ss, "FormatSS late", ss);

  const Text name = kx.FormatName(a, b, c, flag);
  CheckName(flag, name);
  Check(kx::FormatName(a, b, c, flag) == name, "FormatName direct", name);
  Check(CallLate(kx, u"FormatName", {T(a), T(b), T(c), Variant::FromInteger(flag)}) == name,
        "FormatName late", name);

  const Text address = kx.FormatAddress(a, b, c, d, e, flag);
  Check(kx::FormatAddress(a, b, c, d, e, flag, DirectZip()) == address, "FormatAddress direct", address);
  Check(CallLate(kx, u"FormatAddress", {T(a), T(b), T(c), T(d), T(e), Variant::FromInteger(flag)}) == address,
        "FormatAddress late", address);

  const Text address2 = kx.FormatAddress2(a, b, c, d, e, f, flag);
  Check(kx::FormatAddress2(a, b, c, d, e, f, flag, DirectZip()) == address2, "FormatAddress2 direct", address2);
  Check(CallLate(kx, u"FormatAddress2",
                 {T(a), T(b), T(c), T(d), T(e), T(f), Variant::FromInteger(flag)}) == address2,
        "FormatAddress2 late", address2);

  const Text duration = kx.FormatMinutes(minutes);
  CheckMinutes(minutes, duration);
  Check(CallLate(kx, u"FormatMinutes", {Variant::FromLong(minutes)}) == duration, "FormatMinutes late", duration);

  // Only FormatPhone shows a box, and only for a run-time error, which
  // none of these inputs can cause.
  Check(env.boxes == 0, "a message box was shown", phone);
}

}  // namespace
}  // namespace qorvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qorvel::RunOne(data, size);
  return 0;
}
