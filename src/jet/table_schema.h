// How a table's copy is declared in SQLite, in the mirror and in an
// exported file alike.
//
// Each column keeps its Jet type in its declared SQLite type ("JetLong
// INTEGER", "JetCurrency INTEGER", "JetText TEXT", ...), stored as
// catalog.h describes; in the mirror, text columns compare with the JETTEXT
// collation. The same declared types mark an exported SQLite file, so that
// reopening it gives back the Jet types (sqlite_source.cc reads them).
#ifndef QORVEL_JET_TABLE_SCHEMA_H_
#define QORVEL_JET_TABLE_SCHEMA_H_

#include <optional>
#include <string>
#include <string_view>

#include "jet/catalog.h"

namespace qorvel::jet {

// The declared SQLite type of a mirror column of the given Jet type.
const char* DeclaredType(JetType type);

// Whether a column of the type compares with the case-insensitive text
// collation (Text and Memo do).
bool UsesTextCollation(JetType type);

// The Jet type that a declared type written by DeclaredType() stands for,
// or nothing for any other declared type. Letter case is ignored.
std::optional<JetType> JetTypeOfDeclared(std::string_view declared);

// The CREATE TABLE statement of `table` under `schema_and_name` (quoted,
// with its schema when not main), its text columns with the JETTEXT
// collation when `with_collation`.
std::string CreateTableSql(const std::string& schema_and_name, const TableInfo& table, bool with_collation);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_TABLE_SCHEMA_H_
