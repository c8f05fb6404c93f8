// Raising the engine's errors from the dialect code: an AutomationError with
// one of the numbers of translator.h and a description that names the
// culprit, plus the small text helpers the descriptions are built with.
#ifndef QORVEL_JET_SQL_ERRORS_H_
#define QORVEL_JET_SQL_ERRORS_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "qorvel/types.h"

namespace qorvel::jet::sql {

// Raises AutomationError(number, description).
[[noreturn]] void Fail(long number, Text description);

// Raises a syntax error (kErrSyntax) about the text at `offset` of
// `statement`: "Syntax error in the statement at character N near '...':
// <what>".
[[noreturn]] void FailSyntax(std::u16string_view statement, std::size_t offset,
                             std::u16string_view what);

// Decimal text of a number, for descriptions.
Text DecimalText(long long value);

}  // namespace qorvel::jet::sql

#endif  // QORVEL_JET_SQL_ERRORS_H_
