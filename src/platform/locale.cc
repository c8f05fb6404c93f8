// The process-wide user locale.
//
// The current locale is an atomic pointer to an immutable Locale, so the
// conversions on every call cost one atomic load. Every locale that was
// ever current is kept in a list that is never destroyed: a reference
// returned by UserLocale() stays valid until the process exits, even
// after another locale was set and during static destruction.
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
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

const Locale& UserLocale() {
  if (const Locale* current = g_current.load(std::memory_order_acquire)) return *current;
  // First use. Two threads may both read the environment; the first to
  // install wins.
  return Install(PlatformDefaultLocale(), /*only_if_unset=*/true);
}

void SetUserLocale(std::shared_ptr<const Locale> locale) {
  Install(locale ? std::move(locale) : PlatformDefaultLocale(), /*only_if_unset=*/false);
}

}  // namespace qorvel::platform
