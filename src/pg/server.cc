// Opening connections and reading the server's failures.
#include "pg/server.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <vector>

#include "jet/errors.h"
#include "pg/uri.h"

namespace qorvel::pg {
namespace {

// The message of a failed result or connection, without passwords and
// without libpq's closing line break.
std::string MessageOf(pg_conn* connection, const pg_result* result, std::string_view uri) {
  const char* primary = result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  std::string message = primary != nullptr ? primary
                        : connection != nullptr ? PQerrorMessage(connection)
                                                : "out of memory";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  if (message.empty()) message = "no message";
  return WithoutSecretsOf(uri, std::move(message));
}

}  // namespace

void ConnectionCloser::operator()(pg_conn* connection) const { PQfinish(connection); }
void ResultClearer::operator()(pg_result* result) const { PQclear(result); }

ConnectionHandle Connect(std::string_view uri) {
  const std::string dbname(uri);
  // Later entries override earlier ones, the URI's parts included; an
  // entry given here overrides the environment.
  std::vector<const char*> keywords = {"fallback_application_name", "dbname", "client_encoding"};
  std::vector<const char*> values = {"qorvel", dbname.c_str(), "UTF8"};
  if (std::getenv("PGCONNECT_TIMEOUT") == nullptr) {
    keywords.insert(keywords.begin(), "connect_timeout");
    values.insert(values.begin(), "10");
  }
  keywords.push_back(nullptr);
  values.push_back(nullptr);
  ConnectionHandle connection(PQconnectdbParams(keywords.data(), values.data(), 1));
  if (connection == nullptr) RaiseOutOfMemory();
  if (PQstatus(connection.get()) != CONNECTION_OK) {
    jet::Raise(jet::kErrEngineFailure, u"Cannot connect to the PostgreSQL database '" +
                                           FromUtf8(WithoutPassword(uri)) + u"': " +
                                           FromUtf8(MessageOf(connection.get(), nullptr, uri)));
  }
  return connection;
}

std::string StateOf(const pg_result* result) {
  const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  return state != nullptr ? state : "";
}

AutomationError ErrorOf(pg_conn* connection, const pg_result* result, std::string_view uri,
                        std::u16string_view what) {
  const std::string state = StateOf(result);
  const Text message = FromUtf8(MessageOf(connection, result, uri));
  const Text doing = Text(what);
  if (state == "42P01") return AutomationError(jet::kErrNoSuchTable, u"The server has no such table (" + message + u").");
  if (state == "42703") return AutomationError(jet::kErrNoSuchColumn, u"Unknown column name (" + message + u").");
  if (state == "42601") return AutomationError(jet::kErrSyntax, u"Syntax error in the statement (" + message + u").");
  if (state == "42883" || state == "42804" || state == "22P02") {
    return AutomationError(jet::kErrTypeMismatch, u"Data type mismatch in criteria expression (" + message + u").");
  }
  if (state.rfind("22003", 0) == 0 || state == "22008") {
    return AutomationError(jet::kErrEngineFailure, u"Overflow: a value is beyond the range of its type (" + message + u").");
  }
  if (state == "53200") return AutomationError(kErrOutOfMemory, StandardDescription(kErrOutOfMemory));
  if (connection != nullptr && PQstatus(connection) == CONNECTION_BAD) {
    return AutomationError(jet::kErrEngineFailure,
                           u"The connection to the PostgreSQL server was lost while " + doing + u": " + message);
  }
  return AutomationError(jet::kErrEngineFailure, u"PostgreSQL failed while " + doing + u": " + message);
}

ResultHandle Run(pg_conn* connection, const std::string& sql, int expected, std::string_view uri,
                 std::u16string_view what) {
  ResultHandle result(PQexec(connection, sql.c_str()));
  if (result == nullptr || PQresultStatus(result.get()) != expected) {
    throw ErrorOf(connection, result.get(), uri, what);
  }
  return result;
}

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (const char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

}  // namespace qorvel::pg
