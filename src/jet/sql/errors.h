// The syntax errors of the dialect code: a description that points at the
// place in the statement, raised through jet::Raise with kErrSyntax.
// Every other error of the dialect code is raised with jet::Raise directly.
#ifndef QORVEL_JET_SQL_ERRORS_H_
#define QORVEL_JET_SQL_ERRORS_H_

#include <cstddef>
#include <string_view>

namespace qorvel::jet::sql {

// Raises a syntax error (kErrSyntax) about the text at `offset` of
// `statement`: "Syntax error in the statement at character N near '...':
// <what>".
[[noreturn]] void FailSyntax(std::u16string_view statement, std::size_t offset,
                             std::u16string_view what);

}  // namespace qorvel::jet::sql

#endif  // QORVEL_JET_SQL_ERRORS_H_
