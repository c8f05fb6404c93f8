// The libpq handles as owned objects, opening a connection from a URI, and
// the server's failures as the engine's AutomationErrors.
//
// A connection is opened from the URI alone: user, password, hosts and
// everything else come from where libpq reads them (the URI, the password
// file, the service file, the PG* environment variables); the library adds
// only what it needs of the session: UTF-8 text (client_encoding, which
// overrides the URI's), an application name where none is given, and a
// connect_timeout of ten seconds unless the URI or the environment sets one.
// Results are read in the binary format, so no session setting (DateStyle,
// extra_float_digits, ...) changes how a value reads.
#ifndef QORVEL_PG_SERVER_H_
#define QORVEL_PG_SERVER_H_

#include <memory>
#include <string>
#include <string_view>

#include "qorvel/automation_error.h"
#include "qorvel/types.h"

struct pg_conn;
struct pg_result;

namespace qorvel::pg {

struct ConnectionCloser {
  void operator()(pg_conn* connection) const;
};
struct ResultClearer {
  void operator()(pg_result* result) const;
};
using ConnectionHandle = std::unique_ptr<pg_conn, ConnectionCloser>;
using ResultHandle = std::unique_ptr<pg_result, ResultClearer>;

// Opens a connection to the database that `uri` (UTF-8) names. Raises
// AutomationError kErrEngineFailure with the server's or libpq's message,
// the URI named without its password.
ConnectionHandle Connect(std::string_view uri);

// The SQLSTATE of a failed result ("42P01"), or "" when it has none (the
// connection failed before the server answered).
std::string StateOf(const pg_result* result);

// The AutomationError for a result that is not a success, or for a null
// result (libpq out of memory or the connection gone): missing table
// kErrNoSuchTable, unknown column kErrNoSuchColumn, syntax kErrSyntax,
// operators and casts that do not fit kErrTypeMismatch, values out of range
// kErrEngineFailure "Overflow ...", out of memory run-time error 7,
// anything else kErrEngineFailure; each with the server's message in the
// description (passwords of `uri` removed). `what` says what was being
// done ("reading the catalog").
AutomationError ErrorOf(pg_conn* connection, const pg_result* result, std::string_view uri, std::u16string_view what);

// Runs `sql` (no parameters, text results) and returns its result. Raises
// ErrorOf unless the result's status is `expected` (a libpq ExecStatusType).
ResultHandle Run(pg_conn* connection, const std::string& sql, int expected, std::string_view uri,
                 std::u16string_view what);

// `name` as a quoted SQL identifier ("Payment" -> "\"Payment\"").
std::string QuoteName(std::string_view name);

}  // namespace qorvel::pg

#endif  // QORVEL_PG_SERVER_H_
