// Telling a server database from a file, and showing its URI.
#include "platform/server_database.h"

#include "pg/uri.h"

namespace qorvel::platform {

bool IsServerDatabase(TextView data_source) { return pg::IsPostgresUri(data_source); }

Text ShownDataSource(const Text& data_source) { return pg::WithoutPassword(data_source); }

}  // namespace qorvel::platform
