// qorvel sql and qorvel convert: the engine's diagnostics for report
// designers. Both open the database as the lookups do (the component's
// provider and connection string), through the platform's connection.
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli.h"
#include "commands.h"
#include "jet/database.h"

namespace qorvel::tool {
namespace {

std::string Cell(const Variant& value) {
  if (value.IsNull()) return "Null";
  return ToUtf8(DisplayText(value));
}

int DatabaseError(const std::string& command, const AutomationError& e) {
  return Fail(command + ": error " + std::to_string(e.number()) + ": " + ToUtf8(e.description()));
}

}  // namespace

int SqlCommand(const std::vector<std::string>& words) {
  if (words.size() != 2) {
    return Fail("sql takes a database and one statement, e.g. qorvel sql billing.mdb "
                "\"Select Sum(Balance) From Credit Where PeopleID = 417\"");
  }
  if (!std::filesystem::exists(words[0])) {
    return Fail("sql: no database at \"" + words[0] + "\"; give the path of a .mdb or SQLite file");
  }
  try {
    const OpenedDatabase opened(words[0]);
    const jet::ResultSet rows = opened.database().Execute(FromUtf8(words[1]));
    // A header of names and types, then one tab-separated line per row.
    for (std::size_t c = 0; c < rows.columns.size(); ++c) {
      std::cout << (c ? "\t" : "") << ToUtf8(rows.columns[c].name) << " ("
                << jet::JetTypeName(rows.columns[c].type) << ")";
    }
    std::cout << "\n";
    for (std::size_t r = 0; r < rows.row_count(); ++r) {
      for (std::size_t c = 0; c < rows.columns.size(); ++c) {
        std::cout << (c ? "\t" : "") << Cell(rows.at(r, c));
      }
      std::cout << "\n";
    }
    std::cerr << rows.row_count() << (rows.row_count() == 1 ? " row\n" : " rows\n");
    return kExitOk;
  } catch (const AutomationError& e) {
    return DatabaseError("sql", e);
  }
}

int ConvertCommand(const std::vector<std::string>& words) {
  if (words.size() != 2) return Fail("convert takes a database and the SQLite file to write, e.g. qorvel convert billing.mdb billing.sqlite");
  if (!std::filesystem::exists(words[0])) {
    return Fail("convert: no database at \"" + words[0] + "\"; give the path of a .mdb or SQLite file");
  }
  std::error_code same;
  if (std::filesystem::equivalent(words[0], words[1], same)) {
    return Fail("convert: the output would replace the database itself; choose another file");
  }
  try {
    const OpenedDatabase opened(words[0]);
    opened.database().ExportToSqlite(words[1]);
    std::cerr << "wrote " << opened.database().tables().size() << " tables to " << words[1] << "\n";
    return kExitOk;
  } catch (const AutomationError& e) {
    return DatabaseError("convert", e);
  }
}

}  // namespace qorvel::tool
