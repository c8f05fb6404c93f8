// Mirror names of source tables.
#include <cctype>
#include <set>
#include <string>

#include "jet/source.h"

namespace qorvel::jet {
namespace {

bool IsPlainIdentifier(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  if (!(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) return false;
  for (const char c : name) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  }
  return true;
}

std::string Lower(std::string_view name) {
  std::string out(name);
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

void AssignMirrorNames(std::vector<TableInfo>& tables) {
  std::set<std::string> taken;  // lower case: SQLite compares names without case
  for (std::size_t i = 0; i < tables.size(); ++i) {
    const std::string own = ToUtf8(tables[i].name);
    const std::string key = Lower(own);
    std::string name;
    if (IsPlainIdentifier(own) && key.rfind("sqlite_", 0) != 0 && key.rfind("ix", 0) != 0 &&
        taken.count(key) == 0) {
      name = own;
    } else {
      for (std::size_t n = i + 1;; ++n) {
        name = "t" + std::to_string(n);
        if (taken.count(name) == 0) break;
      }
    }
    taken.insert(Lower(name));
    tables[i].sqlite_name = name;
  }
}

}  // namespace qorvel::jet
