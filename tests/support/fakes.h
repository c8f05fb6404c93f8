// Test doubles for the platform seams: Envs that record message boxes and
// hand out scripted or real database objects, locales to break on purpose,
// and a scope that sets the user locale for one test.
#ifndef QORVEL_TESTS_SUPPORT_FAKES_H_
#define QORVEL_TESTS_SUPPORT_FAKES_H_

#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "qorvel/env.h"
#include "platform/locale.h"
#include "qorvel/automation_error.h"

namespace qorvel::testing {

struct RecordedBox { Text prompt; Long buttons; std::optional<Text> title; };

// What the fake database saw and what it answers.
struct FakeDatabase {
  // Every call on a connection, in order: "State", "Provider=...",
  // "Open(...)", "Close".
  std::vector<std::string> calls;
  std::vector<Text> statements;  // every Recordset::Open source, in order
  // Answers by statement text; a statement without an answer fails.
  std::map<Text, std::vector<std::vector<Variant>>> answers;
  std::optional<AutomationError> open_error;  // Connection::Open fails with it
  Long forced_state = -1;  // when >= 0, State() reports it
};

class FakeConnection final : public Connection {
 public:
  explicit FakeConnection(FakeDatabase* db) : db_(db) {}
  Long State() const override {
    db_->calls.push_back("State");
    if (db_->forced_state >= 0) return db_->forced_state;
    return open_ ? kStateOpen : kStateClosed;
  }
  void SetProvider(const Text& provider) override { db_->calls.push_back("Provider=" + ToUtf8(provider)); }
  void Open(const Text& connection_string, const Text& user_id, const Text& password, Long options) override {
    db_->calls.push_back("Open(" + ToUtf8(connection_string) + "|" + ToUtf8(user_id) + "|" + ToUtf8(password) +
                         "|" + std::to_string(options) + ")");
    if (db_->open_error) throw *db_->open_error;
    open_ = true;
  }
  void Close() override {
    db_->calls.push_back("Close");
    open_ = false;
  }

 private:
  FakeDatabase* db_;
  bool open_ = false;
};

// Answers from the scripted rows; opened with other options than the
// library's (static, read-only, no command type) it fails.
class FakeRecordset final : public Recordset {
 public:
  explicit FakeRecordset(FakeDatabase* db) : db_(db) {}
  void Open(const Text& source, Connection&, Long cursor_type, Long lock_type, Long options) override;
  bool Eof() const override { return row_ >= rows_.size(); }
  Variant Field(Integer index) const override;
  void MoveNext() override {
    if (Eof()) throw AutomationError(3021, u"Either BOF or EOF is True.");
    ++row_;
  }
  void Close() override {}

 private:
  FakeDatabase* db_;
  std::vector<std::vector<Variant>> rows_;
  std::size_t row_ = 0;
};

// Records the message boxes; Now() is `now`, which a test may set.
class BoxRecordingEnv : public Env {
 public:
  explicit BoxRecordingEnv(DateTime start) : now(start) {}
  void ShowMessageBox(const Text& prompt, Long buttons, const std::optional<Text>& title) override {
    boxes.push_back({prompt, buttons, title});
  }
  DateTime Now() override { return now; }

  std::vector<RecordedBox> boxes;
  DateTime now;
};

// An Env that answers from a FakeDatabase; its clock is 2011-03-31 12:00.
class RecordingEnv final : public BoxRecordingEnv {
 public:
  RecordingEnv() : BoxRecordingEnv(DateTime(40633.5)) {}
  std::unique_ptr<Connection> CreateConnection() override {
    ++connections_created;
    return std::make_unique<FakeConnection>(&database);
  }
  std::unique_ptr<Recordset> CreateRecordset() override { return std::make_unique<FakeRecordset>(&database); }

  FakeDatabase database;
  int connections_created = 0;
};

// An Env on the real database engine; its clock is 2011-04-14 12:00.
class EngineEnv final : public BoxRecordingEnv {
 public:
  EngineEnv() : BoxRecordingEnv(DateTime(40647.5)) {}
  std::unique_ptr<Connection> CreateConnection() override;
  std::unique_ptr<Recordset> CreateRecordset() override;
};

// What a FaultyLocale breaks: the ANSI codes of `codes` for some characters
// (-1: the code page runs out of memory), the numeric test (out of memory),
// reading dates (a type mismatch).
struct Faults { std::map<char16_t, int> codes = {}; bool numeric_fails = false; bool dates_fail = false; };

// A locale of the table with faults injected; every other conversion is
// the table locale's. Precondition: `base` names a locale of the table.
class FaultyLocale final : public platform::Locale {
 public:
  FaultyLocale(const std::string& base, Faults faults) : base_(platform::FindLocale(base)), faults_(std::move(faults)) {}
  const platform::LocaleInfo& info() const override { return base_->info(); }
  DateTime TextToDate(TextView t) const override {
    if (faults_.dates_fail) throw AutomationError(13, u"Type mismatch");
    return base_->TextToDate(t);
  }
  Text DateToText(DateTime v) const override { return base_->DateToText(v); }
  Text DoubleToText(double v) const override { return base_->DoubleToText(v); }
  Text CurrencyToText(Currency v) const override { return base_->CurrencyToText(v); }
  double TextToDouble(TextView t) const override { return base_->TextToDouble(t); }
  Currency TextToCurrency(TextView t) const override { return base_->TextToCurrency(t); }
  bool IsNumeric(TextView t) const override {
    if (faults_.numeric_fails) throw std::bad_alloc();
    return base_->IsNumeric(t);
  }
  Text FormatDate(DateTime v, TextView p) const override { return base_->FormatDate(v, p); }
  int AnsiCode(char16_t c) const override {
    const auto it = faults_.codes.find(c);
    if (it != faults_.codes.end() && it->second < 0) throw std::bad_alloc();
    return it != faults_.codes.end() ? it->second : base_->AnsiCode(c);
  }

 private:
  std::shared_ptr<const platform::Locale> base_;
  Faults faults_;
};

// Sets the user locale for the life of the scope.
class LocaleScope {
 public:
  explicit LocaleScope(const std::string& name);
  explicit LocaleScope(std::shared_ptr<const platform::Locale> locale);
  ~LocaleScope();
  LocaleScope(const LocaleScope&) = delete;
  LocaleScope& operator=(const LocaleScope&) = delete;

 private:
  std::shared_ptr<const platform::Locale> previous_;
};

}  // namespace qorvel::testing

#endif  // QORVEL_TESTS_SUPPORT_FAKES_H_
