// qorvel sql and qorvel convert: the engine's diagnostics for report
// designers. Both open the database as the lookups do (the component's
// provider and connection string), through the platform's connection.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli.h"
#include "commands.h"
#include "json.h"
#include "jet/database.h"

namespace qorvel::tool {
namespace {

std::string Cell(const Variant& value) {
  if (value.IsNull()) return "Null";
  return ToUtf8(DisplayText(value));
}

// A value in CSV: the same exact, locale-free forms as in JSON (Currency
// with four decimals, dates as ISO text, true/false), Null an empty field,
// quoted when it holds a comma, a quote or a line break.
std::string CsvField(const Variant& value) {
  std::string text;
  switch (value.type()) {
    case VarType::kEmpty:
    case VarType::kNull: return "";
    case VarType::kText: text = ToUtf8(value.AsText()); break;
    case VarType::kSingle:
    case VarType::kDouble: {
      // The shortest text that reads back as the same value of its type.
      char buf[64];
      const auto end = value.type() == VarType::kSingle ? std::to_chars(buf, buf + sizeof buf, value.AsSingle()).ptr
                                                         : std::to_chars(buf, buf + sizeof buf, value.AsDouble()).ptr;
      text.assign(buf, end);
      break;
    }
    default: {
      text = JsonValue(value);
      if (!text.empty() && text.front() == '"') text = text.substr(1, text.size() - 2);  // no escapes in these
    }
  }
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

void PrintTable(const jet::ResultSet& rows) {
  // A header of names and types, then one tab-separated line per row.
  for (std::size_t c = 0; c < rows.columns.size(); ++c) {
    std::cout << (c ? "\t" : "") << ToUtf8(rows.columns[c].name) << " (" << jet::JetTypeName(rows.columns[c].type)
              << ")";
  }
  std::cout << "\n";
  for (std::size_t r = 0; r < rows.row_count(); ++r) {
    for (std::size_t c = 0; c < rows.columns.size(); ++c) std::cout << (c ? "\t" : "") << Cell(rows.at(r, c));
    std::cout << "\n";
  }
}

void PrintCsv(const jet::ResultSet& rows) {
  for (std::size_t c = 0; c < rows.columns.size(); ++c) {
    std::cout << (c ? "," : "") << CsvField(Variant::FromText(rows.columns[c].name));
  }
  std::cout << "\n";
  for (std::size_t r = 0; r < rows.row_count(); ++r) {
    for (std::size_t c = 0; c < rows.columns.size(); ++c) std::cout << (c ? "," : "") << CsvField(rows.at(r, c));
    std::cout << "\n";
  }
}

void PrintJsonLines(const jet::ResultSet& rows) {
  for (std::size_t r = 0; r < rows.row_count(); ++r) {
    std::cout << "{";
    for (std::size_t c = 0; c < rows.columns.size(); ++c) {
      std::cout << (c ? ", " : "") << JsonString(ToUtf8(rows.columns[c].name)) << ": " << JsonValue(rows.at(r, c));
    }
    std::cout << "}\n";
  }
}

int DatabaseError(const std::string& command, const AutomationError& e) {
  return Fail(command + ": error " + std::to_string(e.number()) + ": " + ToUtf8(e.description()));
}

}  // namespace

int SqlCommand(const std::vector<std::string>& words) {
  std::vector<std::string> operands;
  std::string format = "table";
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--format") {
      if (i + 1 >= words.size() || (words[i + 1] != "table" && words[i + 1] != "csv" && words[i + 1] != "json")) {
        return Fail("sql: --format is table, csv or json");
      }
      format = words[++i];
    } else if (words[i].rfind("--", 0) == 0) {
      return Fail("sql: unknown option " + words[i] + " (see qorvel sql --help)");
    } else {
      operands.push_back(words[i]);
    }
  }
  if (operands.size() != 2) {
    return Fail("sql takes a database and one statement, e.g. qorvel sql billing.mdb "
                "\"Select Sum(Balance) From Credit Where PeopleID = 417\"");
  }
  if (!std::filesystem::exists(operands[0])) {
    return Fail("sql: no database at \"" + operands[0] + "\"; give the path of a .mdb or SQLite file");
  }
  try {
    const OpenedDatabase opened(operands[0]);
    const jet::ResultSet rows = opened.database().Execute(FromUtf8(operands[1]));
    if (format == "csv") {
      PrintCsv(rows);
    } else if (format == "json") {
      PrintJsonLines(rows);
    } else {
      PrintTable(rows);
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
