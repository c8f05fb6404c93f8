// The PostgreSQL connection URIs that name a server database in place of a
// file, and keeping their passwords out of every text the library shows.
//
// A URI is "postgresql://" or "postgres://" (scheme in any letter case)
// followed by anything libpq reads: users, several hosts, a database and
// parameters such as target_session_attrs, sslmode, connect_timeout or
// service. A password may stand in the user part ("user:secret@host") or in
// the password or sslpassword parameters; the texts here remove it. Plain
// text work without libpq, so that every build can recognise a URI.
#ifndef QORVEL_PG_URI_H_
#define QORVEL_PG_URI_H_

#include <string>
#include <string_view>

#include "qorvel/types.h"

namespace qorvel::pg {

// Whether `data_source` is a PostgreSQL URI rather than a file path.
bool IsPostgresUri(TextView data_source);
bool IsPostgresUri(std::string_view data_source);

// The URI without its passwords: the ":secret" of the user part and the
// password and sslpassword parameters left out. Any other text comes back
// unchanged.
std::string WithoutPassword(std::string_view uri);
Text WithoutPassword(TextView uri);

// `message` with every password of `uri` in it (as written and percent
// decoded) replaced by "***". Precondition: none; a text that is not a URI
// has no password.
std::string WithoutSecretsOf(std::string_view uri, std::string message);

}  // namespace qorvel::pg

#endif  // QORVEL_PG_URI_H_
