// The process-wide user locale, and its choice from the process environment.
//
// The current locale is an atomic pointer to an immutable Locale, so the
// conversions on every call cost one atomic load. Every locale that was
// ever current is kept in a list that is never destroyed: a reference
// returned by UserLocale() stays valid until the process exits, even
// after another locale was set and during static destruction.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/locale.h"

namespace qorvel::platform {
namespace {

std::atomic<const Locale*> g_current{nullptr};

struct Keeper {
  std::mutex mutex;
  std::vector<std::shared_ptr<const Locale>> kept;
};

Keeper& GetKeeper() {
  static Keeper* const keeper = new Keeper;  // never destroyed, see above
  return *keeper;
}

std::shared_ptr<const Locale> Fallback() { return FindLocale(LocaleNames().front()); }

std::string_view Language(std::string_view name) { return name.substr(0, name.find_first_of("_-.@")); }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The table locale for one POSIX locale value ("de_DE.UTF-8").
std::shared_ptr<const Locale> LocaleForValue(std::string_view value) {
  const std::string_view base = value.substr(0, value.find_first_of(".@"));
  if (base.empty() || base == "C" || base == "POSIX") return Fallback();
  if (auto locale = FindLocale(base)) return locale;
  const std::string_view language = Language(base);
  for (const std::string& name : LocaleNames()) {
    if (EqualsIgnoringCase(Language(name), language)) return FindLocale(name);
  }
  return Fallback();
}

// The value in force for one locale category: LC_ALL, the category's own
// variable, LANG; empty when none is set.
std::string_view CategoryValue(const EnvironmentLookup& lookup, const char* category) {
  for (const char* variable : {"LC_ALL", category, "LANG"}) {
    const char* value = lookup(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

std::shared_ptr<const Locale> LocaleFromProcessEnvironment() {
  return EnvironmentLocale([](const char* variable) -> const char* { return std::getenv(variable); });
}

// Makes `locale` current and keeps it alive; with `only_if_unset`, keeps
// the current locale when there already is one.
const Locale& Install(std::shared_ptr<const Locale> locale, bool only_if_unset) {
  Keeper& keeper = GetKeeper();
  std::lock_guard<std::mutex> lock(keeper.mutex);
  if (only_if_unset) {
    if (const Locale* current = g_current.load(std::memory_order_acquire)) return *current;
  }
  const Locale* current = locale.get();
  // A locale set again (a table entry, say) is kept once.
  const bool kept = std::any_of(keeper.kept.begin(), keeper.kept.end(),
                                [&](const std::shared_ptr<const Locale>& k) { return k.get() == current; });
  if (!kept) keeper.kept.push_back(std::move(locale));
  g_current.store(current, std::memory_order_release);
  return *current;
}

}  // namespace

std::shared_ptr<const Locale> EnvironmentLocale(const EnvironmentLookup& lookup) {
  std::shared_ptr<const Locale> time = LocaleForValue(CategoryValue(lookup, "LC_TIME"));
  std::shared_ptr<const Locale> numeric = LocaleForValue(CategoryValue(lookup, "LC_NUMERIC"));
  std::shared_ptr<const Locale> ctype = LocaleForValue(CategoryValue(lookup, "LC_CTYPE"));
  if (time == numeric && time == ctype) return time;
  // Categories from different locales: the dates of one, the numbers of
  // another, the code page of a third.
  LocaleInfo info = time->info();
  const LocaleInfo& numbers = numeric->info();
  info.decimal = numbers.decimal;
  info.thousands = numbers.thousands;
  info.negative_sign = numbers.negative_sign;
  info.positive_sign = numbers.positive_sign;
  info.currency = numbers.currency;
  info.money_decimal = numbers.money_decimal;
  info.money_thousands = numbers.money_thousands;
  info.code_page = ctype->info().code_page;
  return MakeLocale(std::move(info));
}

const Locale& UserLocale() {
  if (const Locale* current = g_current.load(std::memory_order_acquire)) return *current;
  // First use. Two threads may both read the environment; the first to
  // install wins.
  return Install(LocaleFromProcessEnvironment(), /*only_if_unset=*/true);
}

void SetUserLocale(std::shared_ptr<const Locale> locale) {
  Install(locale ? std::move(locale) : LocaleFromProcessEnvironment(), /*only_if_unset=*/false);
}

}  // namespace qorvel::platform
