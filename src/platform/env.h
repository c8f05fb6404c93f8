// Env: the seam between the methods and the platform they run on.
//
// The methods reach the outside world only through an Env: the modal message
// box, the database connection and recordset, and the clock. The user
// locale is process-wide (locale.h). Env::Default() is the platform's own;
// tests pass a recording Env to a KX object instead.
#ifndef QORVEL_PLATFORM_ENV_H_
#define QORVEL_PLATFORM_ENV_H_

#include <memory>
#include <optional>

#include "platform/database.h"
#include "qorvel/date_time.h"
#include "qorvel/types.h"

namespace qorvel::platform {

class Env {
 public:
  virtual ~Env() = default;

  // The platform's own environment; lives as long as the process.
  static Env* Default();

  // Shows a modal message box on the calling thread and returns when it is
  // closed. `title` empty means no title was given (the box shows the
  // default title, the component's application title); a given title,
  // even an empty one, is shown as it is.
  virtual void ShowMessageBox(const Text& prompt, Long buttons,
                              const std::optional<Text>& title) = 0;

  virtual std::unique_ptr<Connection> CreateConnection() = 0;
  virtual std::unique_ptr<Recordset> CreateRecordset() = 0;

  // The current local date and time.
  virtual DateTime Now() = 0;
};

// The component's application title, shown when a box is given no title.
inline constexpr char16_t kApplicationTitle[] = u"QORVEL";

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_ENV_H_
