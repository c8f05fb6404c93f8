// The platform's own environment on POSIX systems: message boxes written to
// standard error (or handed to the host's handler or capture), the system clock in
// local time, and database connections through our engine.
#include <sys/time.h>

#include <cstdio>
#include <ctime>
#include <mutex>

#include "qorvel/env.h"
#include "platform/host_settings.h"
#include "platform/thread_exit.h"
#include "platform/posix/jet_database.h"

namespace qorvel {
namespace {

// Boxes go to standard error as a block: a header line with the title and
// the buttons-and-icon value, the prompt with its CR LF as line breaks.
void WriteBox(const Text& prompt, Long buttons, const std::optional<Text>& title) {
  Text lines;
  for (char16_t ch : prompt) {
    if (ch != u'\r') lines.push_back(ch);
  }
  const std::string text = ToUtf8(lines);
  const std::string caption = title ? ToUtf8(*title) : ToUtf8(kApplicationTitle);
  static std::mutex write_mutex;
  std::lock_guard<std::mutex> lock(write_mutex);
  std::fprintf(stderr, "[%s] (message box, buttons %d)\n%s\n", caption.c_str(), buttons,
               text.c_str());
  std::fflush(stderr);
}

class PosixEnv final : public Env {
 public:
  void ShowMessageBox(const Text& prompt, Long buttons,
                      const std::optional<Text>& title) override {
    if (platform::CaptureMessageBox(prompt, buttons, title)) return;
    const MessageBoxHandler handler = platform::HostMessageBoxHandler();
    if (handler) {
      handler(prompt, buttons, title);
    } else {
      WriteBox(prompt, buttons, title);
    }
  }

  std::unique_ptr<Connection> CreateConnection() override;
  std::unique_ptr<Recordset> CreateRecordset() override;

  DateTime Now() override {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm local{};
    const std::time_t seconds = tv.tv_sec;
    localtime_r(&seconds, &local);
    const auto date = DateTime::FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                          local.tm_hour, local.tm_min, local.tm_sec);
    return date.value_or(DateTime());
  }
};

std::unique_ptr<Connection> PosixEnv::CreateConnection() {
  return std::make_unique<platform::JetConnection>([this] { return Now(); });
}

std::unique_ptr<Recordset> PosixEnv::CreateRecordset() {
  return std::make_unique<platform::JetRecordset>();
}

}  // namespace

Env* Env::Default() {
  static PosixEnv env;
  return &env;
}

void platform::AtThreadExit(void (*release)()) noexcept {
  // The destructor of a thread-local object runs as its thread ends.
  struct Releaser {
    void (*release)() = nullptr;
    ~Releaser() {
      if (release != nullptr) release();
    }
  };
  thread_local Releaser releaser;
  releaser.release = release;
}

}  // namespace qorvel
