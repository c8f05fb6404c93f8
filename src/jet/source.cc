// Mirror names of source tables.
#include <algorithm>
#include <string>

#include "base/text_ops.h"
#include "jet/source.h"

namespace qorvel::jet {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsPlainIdentifier(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  if (!(IsAsciiLetter(name[0]) || name[0] == '_')) return false;
  for (const char c : name) {
    if (!(IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

bool StartsWithIgnoringAsciiCase(std::string_view name, std::string_view prefix) {
  return EqualsIgnoringAsciiCase(name.substr(0, prefix.size()), prefix);
}

}  // namespace

void AssignMirrorNames(std::vector<TableInfo>& tables) {
  // SQLite compares names without regard to ASCII case.
  std::vector<std::string> taken;
  const auto is_taken = [&](std::string_view name) {
    return std::any_of(taken.begin(), taken.end(),
                       [&](const std::string& other) { return EqualsIgnoringAsciiCase(name, other); });
  };
  for (std::size_t i = 0; i < tables.size(); ++i) {
    const std::string own = ToUtf8(tables[i].name);
    std::string name;
    if (IsPlainIdentifier(own) && !StartsWithIgnoringAsciiCase(own, "sqlite_") &&
        !StartsWithIgnoringAsciiCase(own, "ix") && !is_taken(own)) {
      name = own;
    } else {
      for (std::size_t n = i + 1;; ++n) {
        name = "t" + std::to_string(n);
        if (!is_taken(name)) break;
      }
    }
    taken.push_back(name);
    tables[i].sqlite_name = name;
  }
}

}  // namespace qorvel::jet
