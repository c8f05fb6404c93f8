// The choice between the data access objects and the engine.
#include "platform/windows/database_choice.h"

#include <windows.h>

#include <optional>
#include <string>

#include "base/text_ops.h"
#include "platform/jet_database.h"
#include "platform/windows/ado_database.h"
#include "qorvel/automation_error.h"

namespace qorvel::platform::windows {
namespace {

// The text of the setting in `root`, or nothing when it has none.
std::optional<Text> ReadSetting(HKEY root) {
  wchar_t value[64];
  DWORD bytes = sizeof value;
  if (RegGetValueW(root, L"Software\\QORVEL", L"Engine", RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  Text text;
  for (const wchar_t* c = value; *c != L'\0'; ++c) text += static_cast<char16_t>(*c);
  return text;
}

}  // namespace

bool BuiltInEngineChosen() {
  std::optional<Text> setting = ReadSetting(HKEY_CURRENT_USER);
  if (!setting) setting = ReadSetting(HKEY_LOCAL_MACHINE);
  return setting && EqualsIgnoringAsciiCase(*setting, u"built-in");
}

bool ConnectThroughProvider() {
  return !BuiltInEngineChosen() && IsProgIdRegistered(ChooseProvider(kJetProvider));
}

void ChosenRecordset::Open(const Text& source, Connection& active_connection, Long cursor_type, Long lock_type,
                           Long options) {
  if (dynamic_cast<AdoConnection*>(&active_connection) != nullptr) {
    recordset_ = std::make_unique<AdoRecordset>();
  } else {
    recordset_ = std::make_unique<JetRecordset>();
  }
  recordset_->Open(source, active_connection, cursor_type, lock_type, options);
}

Recordset& ChosenRecordset::Opened() const {
  if (recordset_ == nullptr) {
    throw AutomationError(kErrObjectClosed, u"The recordset is closed.");
  }
  return *recordset_;
}

bool ChosenRecordset::Eof() const { return Opened().Eof(); }
Variant ChosenRecordset::Field(Integer index) const { return Opened().Field(index); }
void ChosenRecordset::MoveNext() { Opened().MoveNext(); }
void ChosenRecordset::Close() { Opened().Close(); }

}  // namespace qorvel::platform::windows
