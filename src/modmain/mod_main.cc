// modMain: the per-thread connection, NullToString and DecryptSSN.
#include "modmain/mod_main.h"

#include "base/text_ops.h"
#include "modmain/error_styles.h"
#include "modmain/handler_counts.h"
#include "platform/locale.h"
#include "platform/server_database.h"
#include "platform/thread_exit.h"
#include "platform/variant_conversion.h"
#include "qorvel/automation_error.h"

namespace qorvel::modmain {
namespace {

// The component's database password; used nowhere but in the connection
// string.
constexpr char16_t kDatabasePassword[] = u"PZqfnWM4062";

// The calling thread's module data, created on first use. A plain pointer,
// so that nothing runs at thread end but what the platform allows
// (platform/thread_exit.h).
thread_local ThreadState* tls_state = nullptr;

}  // namespace

Text ConnectionString(const Text& DBPath) {
  Text s = u"data source=";
  s += DBPath;
  s += u";Jet OLEDB:Database Password=";
  s += kDatabasePassword;
  s += u";";
  return s;
}

void OpenDatabase(Connection& connection, const Text& DBPath) {
  connection.SetProvider(kProvider);
  connection.Open(ConnectionString(DBPath), Text(), Text(), -1);
}

ThreadState& ThisThread() {
  if (tls_state == nullptr) {
    tls_state = new ThreadState;
    platform::AtThreadExit(&ResetThisThread);
  }
  return *tls_state;
}

void ResetThisThread() {
  ThreadState* state = tls_state;
  tls_state = nullptr;
  delete state;
}

bool ConnectToDB(Env& env, const Text& DBPath) noexcept {
  ThreadState& state = ThisThread();
  try {
    if (!state.DBConnection) {
      state.DBConnection = env.CreateConnection();
      if (!state.DBConnection) RaiseOutOfMemory();
    }
    Connection& connection = *state.DBConnection;
    const Long current = connection.State();
    if (current == kStateOpen && DBPath == state.LastDBPath) return true;
    // One thread moves between databases: close the connection before it
    // is opened on another path.
    if (current == kStateOpen) connection.Close();
    OpenDatabase(connection, DBPath);
    state.LastDBPath = DBPath;
    return true;
  } catch (...) {
    const AutomationError error = CurrentError();
    HandlerCounts& counts = ThreadHandlerCounts();
    ++counts.connection_failures;
    const bool shown_before = state.ConnectErrorShown;
    try {
      ShowConnectionFailureBox(env, state.ConnectErrorShown, platform::ShownDataSource(DBPath), error);
    } catch (...) {
      // The box could not be shown; the result stays False.
    }
    counts.connection_boxes += state.ConnectErrorShown && !shown_before;
    return false;
  }
}

Text NullToString(const Variant& Value, const Boolean& ZeroIfNull) {
  if (Value.IsNull()) return IsTrue(ZeroIfNull) ? u"0" : u"";
  return platform::VariantToText(Value, platform::UserLocale());
}

Text DecryptSSN(const Text& SSN) {
  try {
    const platform::Locale& locale = platform::UserLocale();
    if (SSN.empty() || locale.IsNumeric(SSN) || SSN.size() != 9) return SSN;
    const Text rotated = SSN.substr(5, 4) + SSN.substr(0, 5);
    Text result;
    for (Integer i = 1; i <= 9; ++i) {
      // The code as a signed 16-bit number; the subtraction must stay in
      // the 16-bit range.
      const int code = static_cast<Integer>(static_cast<std::uint16_t>(
          locale.AnsiCode(rotated[static_cast<std::size_t>(i - 1)])));
      const int difference = code - 64;
      if (difference < -32768) RaiseOverflow();
      result += DecimalText(difference);
    }
    return result;
  } catch (...) {
    RaiseAgain(u"DecryptSSN", CurrentError());
  }
}

}  // namespace qorvel::modmain
