// Test doubles for the platform seams.
#include "support/fakes.h"

#include <stdexcept>

#include "platform/jet_database.h"

namespace qorvel::testing {

void FakeRecordset::Open(const Text& source, Connection&, Long cursor_type,
                         Long lock_type, Long options) {
  db_->statements.push_back(source);
  if (cursor_type != 3 || lock_type != 1 || options != -1) {
    throw AutomationError(-1, u"recordset opened with unexpected options");
  }
  const auto it = db_->answers.find(source);
  if (it == db_->answers.end()) {
    throw AutomationError(-2147217900, u"Syntax error in the statement (no scripted answer).");
  }
  rows_ = it->second;
  row_ = 0;
}

Variant FakeRecordset::Field(Integer index) const {
  if (Eof()) throw AutomationError(3021, u"Either BOF or EOF is True.");
  const auto& row = rows_[row_];
  if (index < 0 || static_cast<std::size_t>(index) >= row.size()) {
    throw AutomationError(3265, u"Item cannot be found in the collection.");
  }
  return row[static_cast<std::size_t>(index)];
}

std::unique_ptr<Connection> EngineEnv::CreateConnection() {
  return std::make_unique<platform::JetConnection>([this] { return now; });
}

std::unique_ptr<Recordset> EngineEnv::CreateRecordset() {
  return std::make_unique<platform::JetRecordset>();
}

LocaleScope::LocaleScope(const std::string& name) : LocaleScope(platform::FindLocale(name)) {}

LocaleScope::LocaleScope(std::shared_ptr<const platform::Locale> locale) {
  if (!locale) throw std::invalid_argument("no such locale");
  previous_ = platform::FindLocale(platform::UserLocale().info().name);
  platform::SetUserLocale(std::move(locale));
}

LocaleScope::~LocaleScope() {
  if (previous_) platform::SetUserLocale(previous_);
}

}  // namespace qorvel::testing
