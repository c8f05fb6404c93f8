// The user locale from the process environment (see environment_locale.h).
#include "platform/posix/environment_locale.h"

#include <cstdlib>
#include <string>
#include <string_view>

#include "base/text_ops.h"

namespace qorvel::platform {
namespace {

std::shared_ptr<const Locale> Fallback() { return FindLocale(LocaleNames().front()); }

std::string_view Language(std::string_view name) { return name.substr(0, name.find_first_of("_-.@")); }

// The table locale for one POSIX locale value ("de_DE.UTF-8").
std::shared_ptr<const Locale> LocaleForValue(std::string_view value) {
  const std::string_view base = value.substr(0, value.find_first_of(".@"));
  if (base.empty() || base == "C" || base == "POSIX") return Fallback();
  if (auto locale = FindLocale(base)) return locale;
  const std::string_view language = Language(base);
  for (const std::string& name : LocaleNames()) {
    if (EqualsIgnoringAsciiCase(Language(name), language)) return FindLocale(name);
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

std::shared_ptr<const Locale> PlatformDefaultLocale() {
  return EnvironmentLocale([](const char* variable) -> const char* { return std::getenv(variable); });
}

}  // namespace qorvel::platform
