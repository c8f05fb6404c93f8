// Database: one connection to a PostgreSQL database, answering statements
// of the lookups' dialect as the file engine (jet/database.h) answers them.
//
// A statement is cut into its shape (sql::Shape), parsed and resolved
// against the server's catalog (server_catalog.h), written as PostgreSQL
// SQL (emitter.h) and prepared on the server once per shape and kinds of
// literal; later statements of that shape only send their literals. The
// catalog is read when the connection opens and again when a statement
// names a table or column it lacks, never per statement. A prepared
// statement that the server no longer knows (SQLSTATE 26000: a pooler
// moved the session to another server connection) is prepared again.
//
// Results come back as the engine's ResultSet, each column of the Jet type
// that the resolver gives it (values.h reads them). Errors are the engine's
// AutomationErrors (server.h), their descriptions free of passwords. When
// the connection to the server is lost (the server restarted, the network
// failed), the statement raises its error and the Database counts as
// lost from then on; a new one must be opened.
//
// A Database is used by one thread at a time.
#ifndef QORVEL_PG_DATABASE_H_
#define QORVEL_PG_DATABASE_H_

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "jet/catalog.h"
#include "jet/database.h"
#include "jet/sql/lexer.h"
#include "qorvel/date_time.h"
#include "qorvel/types.h"

namespace qorvel::pg {

struct DatabaseOptions {
  // Reads the text between # marks of a date literal.
  jet::sql::DateReader read_date;
  // The clock of Now().
  std::function<DateTime()> now;
};

class Database final : public jet::Catalog {
 public:
  // Connects to the database that `uri` (UTF-8) names, with the credentials
  // libpq finds for it, and reads its catalog. Raises AutomationError
  // (kErrEngineFailure naming the URI without its password, with the
  // server's message). Precondition: options.read_date and options.now are
  // callable.
  static std::unique_ptr<Database> Open(std::string_view uri, DatabaseOptions options);
  ~Database() override;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs one statement of the dialect and returns its rows, typed as the
  // file engine types them. Raises AutomationError: the statement errors of
  // jet/errors.h, the server's errors mapped to them.
  jet::ResultSet Execute(TextView statement);

  // Whether the connection to the server was lost; then every Execute
  // raises, and the Database is to be replaced.
  bool lost() const;

  // The table by name, case-insensitively (Catalog).
  const jet::TableInfo* FindTable(std::u16string_view name) const override;

  // Every table of the catalog as last read, in name order.
  const std::vector<jet::TableInfo>& tables() const;

 private:
  struct Impl;
  explicit Database(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace qorvel::pg

#endif  // QORVEL_PG_DATABASE_H_
