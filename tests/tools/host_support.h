// What the tests of the tool's library need around it, built on the public
// headers alone, as the tool itself is: the library they meet is the shared
// one the tool links, so they reach nothing inside it. A user locale for one
// test, an Env on the library's engine with boxes recorded and a clock the
// test sets, and a temporary folder.
#ifndef QORVEL_TESTS_TOOLS_HOST_SUPPORT_H_
#define QORVEL_TESTS_TOOLS_HOST_SUPPORT_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "qorvel/qorvel.h"

namespace qorvel::testing {

// Sets the user locale while it lives. Precondition: `name` is a locale of
// AvailableLocales().
class LocaleScope {
 public:
  explicit LocaleScope(const std::string& name) : previous_(UserLocaleName()) { SetUserLocale(name); }
  ~LocaleScope() { SetUserLocale(previous_); }
  LocaleScope(const LocaleScope&) = delete;
  LocaleScope& operator=(const LocaleScope&) = delete;

 private:
  std::string previous_;
};

// The library's engine for the database; boxes recorded; Now() is `now`
// (2011-04-14 12:00 until the test sets it), in statements too.
class EngineEnv final : public Env {
 public:
  struct Box {
    Text prompt;
    Long buttons;
    std::optional<Text> title;
  };
  void ShowMessageBox(const Text& prompt, Long buttons, const std::optional<Text>& title) override {
    boxes.push_back({prompt, buttons, title});
  }
  std::unique_ptr<Connection> CreateConnection() override {
    return CreateEngineConnection([this] { return now; });
  }
  std::unique_ptr<Recordset> CreateRecordset() override { return CreateEngineRecordset(); }
  DateTime Now() override { return now; }

  std::vector<Box> boxes;
  DateTime now{40647.5};
};

// A new folder under the system's temporary folder, removed with all it
// holds when the TempDir goes.
class TempDir {
 public:
  TempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "qorvel-tool-XXXXXX").string();
    if (const char* made = ::mkdtemp(name.data())) path_ = made;
  }
  ~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

}  // namespace qorvel::testing

#endif  // QORVEL_TESTS_TOOLS_HOST_SUPPORT_H_
