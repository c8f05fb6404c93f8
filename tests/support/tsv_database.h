// Builds a SQLite database from the fixture TSV files (one file per table,
// a header of Name:TYPE columns, \N for Null), with the column types the
// engine reads from a SQLite file: the same rows as the fixture .mdb.
#ifndef QORVEL_TESTS_SUPPORT_TSV_DATABASE_H_
#define QORVEL_TESTS_SUPPORT_TSV_DATABASE_H_

#include <filesystem>
#include <string>

namespace qorvel::testing {

// Writes every *.tsv of `folder` as a table of a new SQLite file at `out`.
// Returns an empty text, or what went wrong.
std::string BuildSqliteFromTsv(const std::filesystem::path& folder, const std::filesystem::path& out);

}  // namespace qorvel::testing

#endif  // QORVEL_TESTS_SUPPORT_TSV_DATABASE_H_
