// qorvel sql and qorvel convert: the engine's diagnostics for report
// designers. Both open the database as the lookups do (the component's
// provider and connection string), through the platform's connection.
#include <sqlite3.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#include "cli.h"
#include "commands.h"
#include "json.h"
#include "jet/database.h"
#include "jet/sqlite_handles.h"
#include "progress.h"

namespace qorvel::tool {
namespace {

// The bytes of a Binary or OLE value shown in a table: the first this many
// as hexadecimal digits, then the size of the whole.
constexpr std::size_t kShownBytes = 32;

// Exit status of a convert that left columns out.
constexpr int kExitIncomplete = 3;

std::string Cell(const Variant& value, jet::JetType type) {
  if (value.IsNull()) return "Null";
  if ((type == jet::JetType::kBinary || type == jet::JetType::kOle) && value.type() == VarType::kText) {
    // The engine gives the bytes as hexadecimal text, two digits a byte.
    const std::string hex = ToUtf8(value.AsText());
    const std::size_t bytes = hex.size() / 2;
    if (bytes <= kShownBytes) return hex;
    return hex.substr(0, 2 * kShownBytes) + "... (" + std::to_string(bytes) + " bytes)";
  }
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
    for (std::size_t c = 0; c < rows.columns.size(); ++c) {
      std::cout << (c ? "\t" : "") << Cell(rows.at(r, c), rows.columns[c].type);
    }
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

// The rows of each of `tables` in the SQLite file that convert wrote (under
// the tables' own names); nothing when the file cannot be read.
std::optional<std::size_t> RowsWritten(const std::string& path, const std::vector<jet::TableInfo>& tables) {
  jet::Connection db;
  if (jet::OpenConnection(path.c_str(), SQLITE_OPEN_READONLY, &db) != SQLITE_OK) return std::nullopt;
  std::size_t rows = 0;
  for (const jet::TableInfo& table : tables) {
    int rc = SQLITE_OK;
    const jet::Statement count =
        jet::PrepareStatement(db.get(), "SELECT COUNT(*) FROM " + jet::QuoteIdentifier(ToUtf8(table.name)), &rc);
    if (rc != SQLITE_OK || sqlite3_step(count.get()) != SQLITE_ROW) return std::nullopt;
    rows += static_cast<std::size_t>(sqlite3_column_int64(count.get(), 0));
  }
  return rows;
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
  std::vector<std::string> operands;
  bool skip_unsupported = false;
  bool quiet = false;
  for (const std::string& word : words) {
    if (word == "--skip-unsupported") {
      skip_unsupported = true;
    } else if (word == "--quiet") {
      quiet = true;
    } else if (word.rfind("--", 0) == 0) {
      return Fail("convert: unknown option " + word + " (see qorvel convert --help)");
    } else {
      operands.push_back(word);
    }
  }
  if (operands.size() != 2) {
    return Fail("convert takes a database and the SQLite file to write, e.g. qorvel convert billing.mdb billing.sqlite");
  }
  if (!std::filesystem::exists(operands[0])) {
    return Fail("convert: no database at \"" + operands[0] + "\"; give the path of a .mdb or SQLite file");
  }
  std::error_code same;
  if (std::filesystem::equivalent(operands[0], operands[1], same)) {
    return Fail("convert: the output would replace the database itself; choose another file");
  }
  try {
    const OpenedDatabase opened(operands[0]);
    jet::Database& database = opened.database();
    const std::vector<jet::TableInfo> tables = database.tables();  // a copy: a reload would replace them
    // A bar for files that take a while to read.
    constexpr std::uintmax_t kLargeFile = 16u << 20;
    std::error_code size_error;
    const std::uintmax_t size = std::filesystem::file_size(operands[0], size_error);
    if (!quiet && !size_error && ShowProgress(true, static_cast<std::size_t>(size / 1024), kLargeFile / 1024)) {
      // Each table loads as a statement first names it, one after another,
      // so that the bar can count them; the export then finds them loaded.
      Progress progress(true, tables.size(), "tables");
      for (std::size_t t = 0; t < tables.size(); ++t) {
        database.Execute(u"Select Count(*) From [" + tables[t].name + u"]");
        progress.Update(t + 1, t + 1 == tables.size());
      }
    }
    database.ExportToSqlite(operands[1]);

    const std::optional<std::size_t> rows = RowsWritten(operands[1], tables);
    std::size_t carried = 0;
    std::size_t skipped = 0;
    for (const jet::TableInfo& table : tables) {
      carried += table.columns.size();
      for (const jet::UnsupportedColumn& column : table.unsupported) {
        ++skipped;
        std::cerr << "qorvel: convert: " << (skip_unsupported ? "skipped" : "could not carry") << " column "
                  << ToUtf8(column.name) << " of table " << ToUtf8(table.name) << ": its type is not supported ("
                  << ToUtf8(column.kind) << ")\n";
      }
    }
    std::cerr << "wrote " << tables.size() << (tables.size() == 1 ? " table, " : " tables, ");
    if (rows) std::cerr << *rows << (*rows == 1 ? " row, " : " rows, ");
    std::cerr << carried << (carried == 1 ? " column" : " columns") << " to " << operands[1];
    if (skipped > 0) {
      std::cerr << "; " << skipped << (skipped == 1 ? " column" : " columns") << " left out"
                << (skip_unsupported ? " (--skip-unsupported)" : ": the copy is incomplete");
    }
    std::cerr << "\n";
    return skipped > 0 && !skip_unsupported ? kExitIncomplete : kExitOk;
  } catch (const AutomationError& e) {
    return DatabaseError("convert", e);
  }
}

}  // namespace qorvel::tool
