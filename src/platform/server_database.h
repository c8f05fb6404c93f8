// A database on a server, as a connection opens it when its Data Source is
// a PostgreSQL URI (pg/uri.h) rather than a file: the lookups' statements
// answered by the PostgreSQL back end (pg/database.h) with the rows typed as
// the file engine types them, so that the recordset is the same for both.
//
// Builds without the back end (Windows, where no libpq is cross-built)
// refuse such a URI with a clear error.
#ifndef QORVEL_PLATFORM_SERVER_DATABASE_H_
#define QORVEL_PLATFORM_SERVER_DATABASE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "qorvel/date_time.h"
#include "qorvel/types.h"

namespace qorvel::jet {
class Database;
struct ResultSet;
struct TableInfo;
}  // namespace qorvel::jet

namespace qorvel::platform {

class ServerDatabase {
 public:
  virtual ~ServerDatabase() = default;

  // Runs one statement of the lookups' dialect. Raises AutomationError.
  virtual jet::ResultSet Execute(TextView statement) = 0;

  // Whether the connection to the server was lost: a connection holding
  // this database then counts as closed.
  virtual bool lost() const = 0;

  // The tables and views the server shows, with their columns typed as the
  // file engine types them (and the columns of other types as unsupported),
  // as the catalog was last read.
  virtual std::vector<jet::TableInfo> tables() const = 0;
  // The table by name as statements find it (ignoring letter case), or null.
  virtual const jet::TableInfo* FindTable(std::u16string_view name) const = 0;
};

// Whether `data_source` names a server database (a postgresql:// or
// postgres:// URI) rather than a file.
bool IsServerDatabase(TextView data_source);

// `data_source` as descriptions and boxes may show it: a URI without its
// password, a file path unchanged.
Text ShownDataSource(const Text& data_source);

// Connects to the database `uri` names, with the credentials libpq finds for
// it. `read_date` reads the text of #date# literals; `now` is the clock of
// Now(). Raises AutomationError (kErrEngineFailure: the server's message, or
// a build without the back end). Precondition: both callable.
std::unique_ptr<ServerDatabase> OpenServerDatabase(const Text& uri,
                                                   std::function<DateTime(std::u16string_view)> read_date,
                                                   std::function<DateTime()> now);

// What ExportToServer copied.
struct ServerExport {
  std::size_t tables = 0;
  std::uint64_t rows = 0;
  std::size_t columns = 0;
};

// Called after each table copied: `done` of `total`.
using ServerExportProgress = std::function<void(std::size_t done, std::size_t total)>;

// Copies every table of `source` into the server database `uri` names, in
// one transaction; an existing table of one of the names is refused unless
// `replace` (which drops it first). Raises AutomationError
// (kErrEngineFailure: the server's message, a table already there, or a
// build without the back end).
ServerExport ExportToServer(jet::Database& source, const Text& uri, bool replace,
                            const ServerExportProgress& progress);

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_SERVER_DATABASE_H_
