// AutomationError and the standard run-time errors.
#include "qorvel/automation_error.h"

#include <string>
#include <utility>

namespace qorvel {
namespace {

std::string WhatText(Long number, const Text& description) {
  return "run-time error " + std::to_string(number) + ": " + ToUtf8(description);
}

}  // namespace

AutomationError::AutomationError(Long number, Text description)
    : number_(number), description_(std::move(description)), what_(WhatText(number_, description_)) {}

void AutomationError::set_description(Text description) {
  description_ = std::move(description);
  what_ = WhatText(number_, description_);
}

Text StandardDescription(Long number) {
  switch (number) {
    case kErrInvalidProcedureCall: return u"Invalid procedure call or argument";
    case kErrOverflow: return u"Overflow";
    case kErrOutOfMemory: return u"Out of memory";
    case kErrTypeMismatch: return u"Type mismatch";
    case kErrInternal: return u"Internal error";
    default: return u"";
  }
}

void RaiseInvalidProcedureCall() {
  throw AutomationError(kErrInvalidProcedureCall, StandardDescription(kErrInvalidProcedureCall));
}
void RaiseOverflow() { throw AutomationError(kErrOverflow, StandardDescription(kErrOverflow)); }
void RaiseOutOfMemory() { throw AutomationError(kErrOutOfMemory, StandardDescription(kErrOutOfMemory)); }
void RaiseTypeMismatch() { throw AutomationError(kErrTypeMismatch, StandardDescription(kErrTypeMismatch)); }

}  // namespace qorvel
