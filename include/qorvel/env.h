// Env: everything the QORVEL methods need from the world outside them: the
// modal message box, the database connection and recordset, and the clock.
//
// The methods reach the platform only through an Env. Env::Default() is the
// platform's own (on Linux: boxes on standard error, the database through
// QORVEL's own engine; on Windows: the system's message box and data access
// objects). A host that wants boxes or the database served another way
// implements Env and gives it to its KX objects; the tests do so with a
// recording Env.
//
// The database operations carry the names of the data access objects the
// component was written against: a Connection that is opened with a provider
// and a connection string, and a static read-only Recordset opened on it.
// Every failing operation raises an AutomationError with a number and a
// description that says what is wrong.
#ifndef QORVEL_ENV_H_
#define QORVEL_ENV_H_

#include <functional>
#include <memory>
#include <optional>

#include "qorvel/date_time.h"
#include "qorvel/export.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"

namespace qorvel {

inline constexpr Long kStateClosed = 0;
inline constexpr Long kStateOpen = 1;

class QORVEL_API Connection {
 public:
  virtual ~Connection() = default;

  // 0 closed, 1 open (other values are combined states, never "open").
  virtual Long State() const = 0;
  // Selects the provider for the next Open.
  virtual void SetProvider(const Text& provider) = 0;
  // Opens synchronously.
  virtual void Open(const Text& connection_string, const Text& user_id, const Text& password,
                    Long options) = 0;
  virtual void Close() = 0;
};

class QORVEL_API Recordset {
 public:
  virtual ~Recordset() = default;

  // Runs `source` on `active_connection` (which must come from the same Env
  // and be open). cursor_type 3 static, lock_type 1 read-only, options -1
  // unspecified. Positions on the first row if there is one.
  virtual void Open(const Text& source, Connection& active_connection, Long cursor_type,
                    Long lock_type, Long options) = 0;
  // True when there is no current row.
  virtual bool Eof() const = 0;
  // Fields.Item(index).Value of the current row; index from 0 in the order
  // of the select list. Raises when there is no current row or no such
  // column.
  virtual Variant Field(Integer index) const = 0;
  virtual void MoveNext() = 0;
  virtual void Close() = 0;
};

class QORVEL_API Env {
 public:
  virtual ~Env() = default;

  // The platform's own environment; lives as long as the process.
  static Env* Default();

  // Shows a modal message box on the calling thread and returns when it is
  // closed. No `title` means none was given (the box shows the application
  // title, kApplicationTitle); a given title, even an empty one, is shown
  // as it is.
  virtual void ShowMessageBox(const Text& prompt, Long buttons,
                              const std::optional<Text>& title) = 0;

  // A new, closed connection and a new, closed recordset. Never null.
  virtual std::unique_ptr<Connection> CreateConnection() = 0;
  virtual std::unique_ptr<Recordset> CreateRecordset() = 0;

  // The current local date and time.
  virtual DateTime Now() = 0;
};

// A new, closed connection and recordset over QORVEL's own engine, as
// Env::Default() gives them on Linux, for a host's Env that serves boxes or
// the clock its own way and the database as the library does. `now` is the
// clock of Now() in statements; precondition: callable.
QORVEL_API std::unique_ptr<Connection> CreateEngineConnection(std::function<DateTime()> now);
QORVEL_API std::unique_ptr<Recordset> CreateEngineRecordset();

// The component's application title, shown when a box is given no title.
inline constexpr char16_t kApplicationTitle[] = u"QORVEL";

}  // namespace qorvel

#endif  // QORVEL_ENV_H_
