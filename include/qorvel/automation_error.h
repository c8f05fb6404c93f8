// AutomationError: the one exception type that carries a run-time error
// inside the library, with its number (a Long) and description (Text).
//
// Errors raised by the library's own code use the standard run-time error
// numbers and descriptions that report designers know from such boxes; the
// database engine raises negative numbers in the style of database errors.
// No AutomationError ever leaves a public method of KX: each method's error
// handler turns it into the method's error result.
#ifndef QORVEL_AUTOMATION_ERROR_H_
#define QORVEL_AUTOMATION_ERROR_H_

#include <exception>
#include <string>

#include "qorvel/export.h"
#include "qorvel/types.h"

namespace qorvel {

class QORVEL_API AutomationError : public std::exception {
 public:
  AutomationError(Long number, Text description);

  Long number() const noexcept { return number_; }
  const Text& description() const noexcept { return description_; }

  // Replaces the description (used when an error is raised again with
  // more context); the number stays.
  void set_description(Text description);

  // The number and description in UTF-8, for logs and the command line.
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  Long number_;
  Text description_;
  std::string what_;
};

// Standard run-time error numbers.
inline constexpr Long kErrInvalidProcedureCall = 5;
inline constexpr Long kErrOverflow = 6;
inline constexpr Long kErrOutOfMemory = 7;
inline constexpr Long kErrTypeMismatch = 13;
inline constexpr Long kErrInternal = 51;

// Raise the standard run-time errors with their standard descriptions:
// 5 "Invalid procedure call or argument", 6 "Overflow",
// 7 "Out of memory", 13 "Type mismatch", 51 "Internal error".
[[noreturn]] QORVEL_API void RaiseInvalidProcedureCall();
[[noreturn]] QORVEL_API void RaiseOverflow();
[[noreturn]] QORVEL_API void RaiseOutOfMemory();
[[noreturn]] QORVEL_API void RaiseTypeMismatch();

// The standard description of a run-time error number, or an empty text
// for numbers that have none here.
QORVEL_API Text StandardDescription(Long number);

}  // namespace qorvel

#endif  // QORVEL_AUTOMATION_ERROR_H_
