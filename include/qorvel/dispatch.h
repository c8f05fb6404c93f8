// Late binding: the dispatch table of the _KX interface and invocation by
// name or dispatch identifier with the automation's argument coercion.
//
// A late-bound caller passes every argument as a Variant. Invoke finds the
// method (names match case-insensitively), checks the argument count,
// coerces each argument to its parameter's type under the user locale,
// and calls the method through the object's _KX interface, so a late-bound
// call gives exactly the result of the early-bound one. The interface's
// by-reference parameters are read-only, so the caller's arguments are never
// written: they come back exactly as passed. Failures of the dispatch
// itself (no such name or identifier, a wrong argument count, an argument
// of the wrong type) come back as the result's error, never as an exception
// or a crash.
#ifndef QORVEL_DISPATCH_H_
#define QORVEL_DISPATCH_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "qorvel/export.h"
#include "qorvel/kx_interface.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"

namespace qorvel {

inline constexpr Long kDispIdBase = 0x60030000;

enum class Passing { kByValue, kByReference };

struct ParamInfo {
  TextView name;   // "PeopleID"
  VarType type;    // kText, kLong, kInteger, kBoolean or kDate
  Passing passing;
};

struct MethodInfo {
  int number;      // slot order, 0 to 23
  TextView name;   // "CreditAmount"
  Long dispid;     // kDispIdBase + number
  std::span<const ParamInfo> params;
  VarType result;  // kText, kCurrency or kLong
};

// The 24 methods of _KX in slot order.
QORVEL_API std::span<const MethodInfo> Methods();

// The method of that name (compared case-insensitively) or identifier, or
// null.
QORVEL_API const MethodInfo* FindMethod(TextView name);
QORVEL_API const MethodInfo* FindMethod(Long dispid);

// "FormatPhone(PhoneFormat As Text [ByRef], Phone As Text [ByRef]) As Text".
QORVEL_API std::string Signature(const MethodInfo& method);

enum class DispatchError {
  kNone,
  kUnknownName,      // no method of that name
  kMemberNotFound,   // no method with that identifier
  kBadParamCount,    // wrong number of arguments
  kTypeMismatch,     // an argument cannot be converted to its parameter's type
  kOverflow,         // an argument is beyond its parameter's range
  kOutOfMemory,      // the call could not be made for want of memory
};

// The automation status code of a dispatch error (0 for kNone,
// 0x80020006 unknown name, 0x80020003 member not found, 0x8002000E bad
// parameter count, 0x80020005 type mismatch, 0x8002000A overflow,
// 0x8007000E out of memory).
QORVEL_API std::uint32_t StatusCode(DispatchError error);

struct InvokeResult {
  DispatchError error = DispatchError::kNone;
  Variant value;        // the method's result when error is kNone
  int arg_index = -1;   // the argument at fault (0 is the first), or -1
  std::string message;  // UTF-8, names the method or argument at fault
  bool ok() const { return error == DispatchError::kNone; }
};

// Calls a method of `object` late bound. `args` are in the method's
// parameter order; they are left as they were passed.
QORVEL_API InvokeResult Invoke(_KX& object, TextView name, const std::vector<Variant>& args) noexcept;
QORVEL_API InvokeResult Invoke(_KX& object, Long dispid, const std::vector<Variant>& args) noexcept;

}  // namespace qorvel

#endif  // QORVEL_DISPATCH_H_
