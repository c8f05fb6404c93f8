// Settings a host of the library makes for the whole process: how message
// boxes are shown and which user locale the conversions follow.
//
// Without a handler the platform shows boxes its own way (on Linux: written
// to standard error, returning at once). The user locale starts as the
// platform finds it (on Linux from LC_ALL, LC_TIME / LC_NUMERIC, LANG;
// en-US when none names a known locale).
#ifndef QORVEL_HOST_H_
#define QORVEL_HOST_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qorvel/export.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"

namespace qorvel {

// The library's version as its version resource gives it.
inline constexpr char kVersion[] = "1.03";

// Shows one message box: the prompt (CR LF line breaks), the buttons-and-icon
// value, and the title, or no value when the box was given no title (the
// box then shows the application title "QORVEL"). The handler is called on
// the thread of the method that shows the box, possibly several threads at
// once; it must return when the box is closed.
using MessageBoxHandler =
    std::function<void(const Text& prompt, Long buttons, const std::optional<Text>& title)>;

// Installs `handler` for the whole process; an empty handler restores the
// platform's own boxes.
QORVEL_API void SetMessageBoxHandler(MessageBoxHandler handler);

// Collects the message boxes shown on the calling thread while it lives,
// instead of showing them: for hosts that report a call's boxes with its
// result. Captures nest; the innermost one collects.
class QORVEL_API MessageBoxCapture {
 public:
  struct Box {
    Text prompt;
    Long buttons;
    std::optional<Text> title;
  };

  MessageBoxCapture();
  ~MessageBoxCapture();
  MessageBoxCapture(const MessageBoxCapture&) = delete;
  MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

  const std::vector<Box>& boxes() const { return boxes_; }

 private:
  std::vector<Box> boxes_;
  std::vector<Box>* outer_;  // the enclosing capture's boxes, or null
};

// Makes the named locale ("en-US", "de-DE", "de_DE.UTF-8", ...) the user
// locale of the process. Returns false, changing nothing, for a name the
// locale table does not know.
QORVEL_API bool SetUserLocale(std::string_view name);

// The name of the current user locale ("en-US").
QORVEL_API std::string UserLocaleName();

// The names of the locales a host can choose.
QORVEL_API std::vector<std::string> AvailableLocales();

// A value as a report shows it: its text under the user locale (numbers and
// money with the locale's decimal separator, dates as the short date and,
// when not midnight, the long time, Booleans as True or False); Empty and
// Null as "". Never throws except on allocation failure.
QORVEL_API Text DisplayText(const Variant& value);

}  // namespace qorvel

#endif  // QORVEL_HOST_H_
