// TEMPORARY (delete when the Windows platform adapters exist): a stand-in
// Windows environment for the server's own development. Boxes are dropped,
// the database cannot be reached, the clock is the system's.
#include <windows.h>

#include "qorvel/env.h"
#include "qorvel/automation_error.h"

namespace qorvel {
namespace {

class StubConnection final : public Connection {
 public:
  Long State() const override { return kStateClosed; }
  void SetProvider(const Text&) override {}
  void Open(const Text&, const Text&, const Text&, Long) override {
    throw AutomationError(-2147467259, u"No database on this platform yet");
  }
  void Close() override {}
};

class StubRecordset final : public Recordset {
 public:
  void Open(const Text&, Connection&, Long, Long, Long) override {
    throw AutomationError(-2147467259, u"No database on this platform yet");
  }
  bool Eof() const override { return true; }
  Variant Field(Integer) const override { return Variant(); }
  void MoveNext() override {}
  void Close() override {}
};

class StubEnv final : public Env {
 public:
  void ShowMessageBox(const Text&, Long, const std::optional<Text>&) override {}
  std::unique_ptr<Connection> CreateConnection() override {
    return std::make_unique<StubConnection>();
  }
  std::unique_ptr<Recordset> CreateRecordset() override {
    return std::make_unique<StubRecordset>();
  }
  DateTime Now() override {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return DateTime::FromParts(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond)
        .value_or(DateTime());
  }
};

}  // namespace

Env* Env::Default() {
  static StubEnv env;
  return &env;
}

}  // namespace qorvel
