// Server databases in a build without the PostgreSQL back end: a URI is
// recognised, and refused.
#include "platform/server_database.h"

#include "jet/database.h"
#include "jet/errors.h"
#include "pg/uri.h"

namespace qorvel::platform {

bool IsServerDatabase(TextView data_source) { return pg::IsPostgresUri(data_source); }

Text ShownDataSource(const Text& data_source) { return pg::WithoutPassword(data_source); }

std::unique_ptr<ServerDatabase> OpenServerDatabase(const Text& uri, std::function<DateTime(std::u16string_view)>,
                                                   std::function<DateTime()>) {
  jet::Raise(jet::kErrEngineFailure, u"Cannot open '" + pg::WithoutPassword(uri) +
                                         u"': this build of QORVEL reads database files only, not PostgreSQL "
                                         u"databases.");
}

}  // namespace qorvel::platform
