// The platform's own environment on POSIX systems: message boxes written to
// standard error (or handed to the host's handler or capture), the system clock in
// local time, and database connections through our engine.
#include <sys/time.h>

#include <ctime>

#include "qorvel/env.h"
#include "platform/host_settings.h"
#include "platform/thread_exit.h"
#include "platform/jet_database.h"

namespace qorvel {
namespace {

class PosixEnv final : public Env {
 public:
  void ShowMessageBox(const Text& prompt, Long buttons,
                      const std::optional<Text>& title) override {
    // Without a host to take it, a box goes to standard error.
    if (platform::OfferBoxToHost(prompt, buttons, title)) return;
    platform::WriteBoxToStandardError(prompt, buttons, title ? *title : Text(kApplicationTitle));
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
