// The database connection and recordset over our own engine
// (jet/database.h): the database of every POSIX host, and of the Windows
// DLL where no data access provider reads the file or a setting asks for
// the engine.
//
// The connection accepts only the provider "Microsoft.Jet.OLEDB.4.0"
// (letter case and surrounding blanks ignored), set through SetProvider or
// a Provider keyword of the connection string. The connection string is
// read as OLE DB reads one (see ParseConnectionString); the engine uses
// "Data Source" (the file) and "Jet OLEDB:Database Password" (the database
// password). Every other keyword is accepted and ignored, like the user
// name and password arguments of Open: the engine has no user-level
// security and is always read-only, so "User ID", "Password", "Mode" and
// the other "Jet OLEDB:" properties change nothing. Open is always
// synchronous, whatever its options.
//
// A "Data Source" that is a PostgreSQL URI opens that server database
// instead (server_database.h), with the credentials libpq finds for it: the
// database password is not sent. Such a connection counts as closed once
// its connection to the server is lost, so that it is opened again.
//
// Date literals (#...#) are read as ISO yyyy-mm-dd[ hh:mm[:ss]] or else
// with the user locale's date reading; Now() reads the clock given to the
// connection.
#ifndef QORVEL_PLATFORM_JET_DATABASE_H_
#define QORVEL_PLATFORM_JET_DATABASE_H_

#include <functional>
#include <memory>
#include <vector>

#include "platform/providers.h"
#include "platform/server_database.h"
#include "qorvel/env.h"
#include "qorvel/date_time.h"
#include "qorvel/types.h"

namespace qorvel::jet {
class Database;
struct ResultSet;
}  // namespace qorvel::jet

namespace qorvel::platform {

// Error numbers of the connection and recordset (those of the engine are in
// jet/errors.h and jet/sql/translator.h).
inline constexpr Long kErrProviderNotFound = -2146824582;      // provider other than Jet 4.0
inline constexpr Long kErrBadConnectionString = -2147217805;   // malformed connection string
inline constexpr Long kErrObjectClosed = -2146824584;          // operation needs an open object
inline constexpr Long kErrObjectOpen = -2146824583;            // operation needs a closed object
inline constexpr Long kErrNoCurrentRow = -2146825267;          // at the end of the recordset
inline constexpr Long kErrNoSuchField = -2146825023;           // field index out of range
inline constexpr Long kErrBadArguments = -2146825287;          // arguments out of range


struct ConnectionProperty {
  Text keyword;  // trimmed, as written
  Text value;    // unquoted
};

// Reads an OLE DB connection string: "keyword=value" pairs separated by
// ';'. Blanks around keywords and unquoted values are dropped; empty pairs
// are skipped; "==" in a keyword stands for '='. A value may be enclosed in
// single or double quotes, inside which the quote doubled stands for
// itself (and ';' is plain text); only blanks may follow the closing quote.
// A keyword given twice keeps its last value. Raises AutomationError
// (kErrBadConnectionString) naming the position of a pair without '=', an
// empty keyword, an unterminated quote or text after a closing quote.
std::vector<ConnectionProperty> ParseConnectionString(TextView text);

// The value of `keyword` (compared without regard to letter case), or
// nothing when the string does not give it.
const Text* FindProperty(const std::vector<ConnectionProperty>& properties, TextView keyword);

class JetConnection final : public Connection {
 public:
  // `now` is the clock of Now() in statements. Precondition: callable.
  explicit JetConnection(std::function<DateTime()> now);
  ~JetConnection() override;

  Long State() const override;
  void SetProvider(const Text& provider) override;
  // Raises kErrProviderNotFound, kErrBadConnectionString or the engine's
  // errors for the file or the server; the connection stays closed after a
  // failure.
  void Open(const Text& connection_string, const Text& user_id, const Text& password,
            Long options) override;
  void Close() override;

  // The open database file, or null when closed or open on a server.
  jet::Database* database() const { return database_.get(); }
  // The open server database, or null when closed or open on a file.
  ServerDatabase* server() const { return server_.get(); }

  // Runs a statement on the open file or server database. Raises the
  // engine's or the server's AutomationError, kErrObjectClosed when closed.
  jet::ResultSet Execute(TextView statement);

 private:
  std::function<DateTime()> now_;
  Text provider_;
  std::unique_ptr<jet::Database> database_;
  std::unique_ptr<ServerDatabase> server_;
};

// The engine's database behind `connection`, an open connection of this
// adapter on a file. Raises kErrBadArguments for a connection of another
// kind or one open on a server, and kErrObjectClosed for a closed one.
jet::Database& DatabaseOf(Connection& connection);

class JetRecordset final : public Recordset {
 public:
  JetRecordset();
  ~JetRecordset() override;

  // `active_connection` must be an open JetConnection (on a file or a
  // server). Accepts cursor types -1 to 3, lock types -1 to 4 and options
  // -1 (unspecified), 1 (text) and 8 (unknown); the recordset is always
  // static and read-only.
  void Open(const Text& source, Connection& active_connection, Long cursor_type, Long lock_type,
            Long options) override;
  bool Eof() const override;
  Variant Field(Integer index) const override;
  void MoveNext() override;
  void Close() override;

 private:
  void RequireOpen() const;

  std::unique_ptr<jet::ResultSet> rows_;
  std::size_t current_ = 0;
};

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_JET_DATABASE_H_
