// Settings a host of the library makes for the whole process: how message
// boxes are shown and which user locale the conversions follow; and what a
// host that reports on many calls reads back: the boxes and errors of its
// calls, and the locale's decimal separator.
//
// Without a handler the platform shows boxes its own way (on Linux: written
// to standard error, returning at once). The user locale starts as the
// platform finds it (on Linux from LC_ALL, LC_TIME / LC_NUMERIC, LANG;
// en-US when none names a known locale).
#ifndef QORVEL_HOST_H_
#define QORVEL_HOST_H_

#include <array>
#include <cstddef>
#include <cstdint>
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

// The methods of KX, numbered as MethodInfo::number (dispatch.h) numbers them.
inline constexpr std::size_t kMethodCount = 24;

// What the methods' error handlers did, by method number.
struct ErrorCounts {
  std::array<std::uint64_t, kMethodCount> errors{};  // calls that ended in the method's error result
  std::array<std::uint64_t, kMethodCount> boxes{};   // boxes the method showed
  std::uint64_t connection_failures = 0;             // a lookup's connection could not be opened
  std::uint64_t connection_boxes = 0;                // the connection failure box was shown
};

// Counts what the methods' error handlers do on the calling thread from its
// construction on: for hosts that must tell an error result from a result
// (both are values such as -1 or "Error"), and report how many calls failed
// and which boxes were shown. Every method of the thread counts, on any
// object; a count costs nothing until a handler runs. Every member must be
// called on the thread that constructed the counter.
class QORVEL_API ErrorCounter {
 public:
  ErrorCounter();

  // Marks the start of one call.
  void BeginCall() noexcept;
  // Whether any method's error handler ran since the last BeginCall. Cheap:
  // a call that went well needs nothing more.
  bool HandlerRan() const noexcept;
  // After the call begun at the last BeginCall, of the method numbered
  // `method`: whether it ended in its error result (its handler ran last;
  // an error that a method it called on the way handled does not count).
  // Such a call is counted in errors. False for a number that is no
  // method's.
  bool EndCall(int method) noexcept;

  // The calls EndCall counted, and the boxes and connection failures of
  // the thread since the construction.
  ErrorCounts counts() const noexcept;

 private:
  ErrorCounts start_;  // the thread's boxes and connection failures at the start
  ErrorCounts calls_;  // the calls counted
  std::uint64_t mark_ = 0;  // the thread's count of handled errors at the last BeginCall
};

// Makes the named locale ("en-US", "de-DE", "de_DE.UTF-8", ...) the user
// locale of the process. Returns false, changing nothing, for a name the
// locale table does not know.
QORVEL_API bool SetUserLocale(std::string_view name);

// The name of the current user locale ("en-US").
QORVEL_API std::string UserLocaleName();

// The names of the locales a host can choose.
QORVEL_API std::vector<std::string> AvailableLocales();

// The user locale's decimal separator ("." in en-US, "," in de-DE).
// Never throws except on allocation failure.
QORVEL_API Text DecimalSeparator();

// A value as a report shows it: its text under the user locale (numbers and
// money with the locale's decimal separator, dates as the short date and,
// when not midnight, the long time, Booleans as True or False); Empty and
// Null as "". Never throws except on allocation failure.
QORVEL_API Text DisplayText(const Variant& value);

}  // namespace qorvel

#endif  // QORVEL_HOST_H_
