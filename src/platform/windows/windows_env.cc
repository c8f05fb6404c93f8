// The platform's own environment on Windows: the system's message box (or
// the host's handler or capture), the local clock, and the database through
// the system's data access objects or our engine (database_choice.h).
//
// Test builds (QORVEL_RECORD_MESSAGE_BOXES, set only by the Wine tests'
// build) write each box to standard error instead of showing it, in the
// POSIX adapter's block format: a box with no display to show it on returns
// at once, so the tests read the boxes from that stream. A shipped library
// is never built that way.
#include <windows.h>


#include "platform/host_settings.h"
#include "platform/jet_database.h"
#include "platform/thread_exit.h"
#include "platform/windows/ado_database.h"
#include "platform/windows/com.h"
#include "platform/windows/database_choice.h"
#include "qorvel/env.h"

namespace qorvel {
namespace {

#ifdef QORVEL_RECORD_MESSAGE_BOXES
// Test builds: the box recorded on standard error, as the POSIX platform
// shows it.
void ShowSystemBox(const Text& prompt, Long buttons, const Text& title) {
  platform::WriteBoxToStandardError(prompt, buttons, title);
}
#else
// Modal on the calling thread, owned by no window; returns when closed.
void ShowSystemBox(const Text& prompt, Long buttons, const Text& title) {
  MessageBoxW(nullptr, platform::windows::Wide(prompt), platform::windows::Wide(title),
              static_cast<UINT>(buttons));
}
#endif

class WindowsEnv final : public Env {
 public:
  void ShowMessageBox(const Text& prompt, Long buttons, const std::optional<Text>& title) override {
    if (platform::OfferBoxToHost(prompt, buttons, title)) return;
    ShowSystemBox(prompt, buttons, title ? *title : Text(kApplicationTitle));
  }

  std::unique_ptr<Connection> CreateConnection() override {
    if (platform::windows::ConnectThroughProvider()) return std::make_unique<platform::windows::AdoConnection>();
    return std::make_unique<platform::JetConnection>([this] { return Now(); });
  }

  std::unique_ptr<Recordset> CreateRecordset() override {
    return std::make_unique<platform::windows::ChosenRecordset>();
  }

  DateTime Now() override {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return DateTime::FromParts(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond)
        .value_or(DateTime());
  }
};

}  // namespace

Env* Env::Default() {
  static WindowsEnv env;
  return &env;
}

// Nothing runs at thread end on Windows (see thread_exit.h).
void platform::AtThreadExit(void (*)()) noexcept {}

}  // namespace qorvel
