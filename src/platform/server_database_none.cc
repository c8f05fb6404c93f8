// Server databases in a build without the PostgreSQL back end: a URI is
// refused.
#include "platform/server_database.h"

#include "jet/errors.h"
#include "pg/uri.h"

namespace qorvel::platform {

std::unique_ptr<ServerDatabase> OpenServerDatabase(const Text& uri, std::function<DateTime(std::u16string_view)>,
                                                   std::function<DateTime()>) {
  jet::Raise(jet::kErrEngineFailure, u"Cannot open '" + pg::WithoutPassword(uri) +
                                         u"': this build of QORVEL reads database files only, not PostgreSQL "
                                         u"databases.");
}

ServerExport ExportToServer(jet::Database&, const Text& uri, bool, const ServerExportProgress&) {
  jet::Raise(jet::kErrEngineFailure, u"Cannot write to '" + pg::WithoutPassword(uri) +
                                         u"': this build of QORVEL reads and writes database files only, not "
                                         u"PostgreSQL databases.");
}

}  // namespace qorvel::platform
