// The errors the engine raises when it opens or reads a database file.
//
// Every failure is an AutomationError with a negative number in the style of
// the database errors that report designers know, one number per kind of
// failure, and a description of our own that names the file (and the table
// or column, where there is one). The statement errors (syntax, missing
// table or column) are in sql/translator.h.
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
// Anything else that goes wrong inside the engine (out of memory, a failing
// export, an internal SQLite error).
inline constexpr Long kErrEngineFailure = -2147467259;

// Raises AutomationError(number, description).
[[noreturn]] void Raise(Long number, std::u16string_view description);

// The path as the descriptions quote it.
Text PathText(const std::filesystem::path& path);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_ERRORS_H_
