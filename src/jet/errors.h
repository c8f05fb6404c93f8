// The errors the engine raises: when it opens or reads a database file, and
// when it parses, resolves or runs a statement.
//
// Every failure is an AutomationError with a negative number in the style of
// the database errors that report designers know, one number per kind of
// failure, and a description of our own that names the file (and the table
// or column, where there is one) or the statement's culprit. Every number
// the engine raises is here.
#ifndef QORVEL_JET_ERRORS_H_
#define QORVEL_JET_ERRORS_H_

#include <filesystem>
#include <string_view>

#include "qorvel/automation_error.h"
#include "qorvel/types.h"

namespace qorvel::jet {

// The file does not exist (nor does its folder).
inline constexpr Long kErrFileNotFound = -2147287038;
// The file exists but may not be read.
inline constexpr Long kErrAccessDenied = -2147287035;
// The path names a folder or a device, not a file.
inline constexpr Long kErrNotAFile = -2147286788;
// The file is neither a Jet/ACE database nor a SQLite database.
inline constexpr Long kErrNotADatabase = -2147286789;
// The file is shorter than its own structure says it is.
inline constexpr Long kErrTruncated = -2147286527;
// The file's structure cannot be read (damaged pages, impossible values).
inline constexpr Long kErrDamaged = -2147286775;
// The database password in the connection string is not the file's.
inline constexpr Long kErrWrongPassword = -2147217843;
// The file kept changing while it was read: a writer was at work at every
// one of the loads a connection tried (Database).
inline constexpr Long kErrFileChanged = -2147287008;
// Anything else that goes wrong inside the engine: SQLite failing while a
// mirror is built or exported (out of memory included), an internal SQLite
// error, a Sum beyond the range of its type, a date function given a value
// outside the range of dates, an unqualified column name that both tables
// of a join have. (A statement that runs out of memory raises run-time
// error 7, as the rest of the library does.)
inline constexpr Long kErrEngineFailure = -2147467259;

// The statement errors.
// The statement cannot be parsed: outside the dialect, or a date literal
// that is not a date.
inline constexpr Long kErrSyntax = -2147217900;
// The statement names a table the database does not have.
inline constexpr Long kErrNoSuchTable = -2147217865;
// The statement names a column its tables do not have.
inline constexpr Long kErrNoSuchColumn = -2147217904;
// The statement names a column whose type the engine cannot read
// (attachment, multi-value and version-history columns, unknown types).
inline constexpr Long kErrUnsupportedType = -2147217891;
// The statement compares or sums values of kinds that do not go together
// (data type mismatch in criteria).
inline constexpr Long kErrTypeMismatch = -2147217913;

// Raises AutomationError(number, description); the one way the engine
// raises its errors.
[[noreturn]] void Raise(Long number, std::u16string_view description);

// The path as the descriptions quote it.
Text PathText(const std::filesystem::path& path);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_ERRORS_H_
