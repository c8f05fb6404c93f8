// qorvel sql and qorvel convert: the engine's diagnostics for report
// designers. Both open the database as the lookups do (the component's
// provider and connection string), through the library's Database.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#include "cli.h"
#include "commands.h"
#include "json.h"
#include "progress.h"
#include "qorvel/database.h"

namespace qorvel::tool {
namespace {

// The bytes of a Binary or OLE value shown in a table: the first this many
// as hexadecimal digits, then the size of the whole.
constexpr std::size_t kShownBytes = 32;

// Exit status of a convert that left columns out.
constexpr int kExitIncomplete = 3;

std::string Cell(const Variant& value, ColumnType type) {
  if (value.IsNull()) return "Null";
  if ((type == ColumnType::kBinary || type == ColumnType::kOle) && value.type() == VarType::kText) {
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

void PrintTable(const Rows& rows) {
  // A header of names and types, then one tab-separated line per row.
  for (std::size_t c = 0; c < rows.columns.size(); ++c) {
    std::cout << (c ? "\t" : "") << ToUtf8(rows.columns[c].name) << " (" << ColumnTypeName(rows.columns[c].type)
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

void PrintCsv(const Rows& rows) {
  for (std::size_t c = 0; c < rows.columns.size(); ++c) {
    std::cout << (c ? "," : "") << CsvField(Variant::FromText(rows.columns[c].name));
  }
  std::cout << "\n";
  for (std::size_t r = 0; r < rows.row_count(); ++r) {
    for (std::size_t c = 0; c < rows.columns.size(); ++c) std::cout << (c ? "," : "") << CsvField(rows.at(r, c));
    std::cout << "\n";
  }
}

void PrintJsonLines(const Rows& rows) {
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
  std::string format = "table";
  const std::string format_error = "sql: --format is table, csv or json";
  Options options("sql");
  options.Valued("--format", format_error, [&](const std::string& value) {
    if (value != "table" && value != "csv" && value != "json") return format_error;
    format = value;
    return std::string();
  });
  const Options::Parsed parsed = options.Parse(words);
  if (!parsed.error.empty()) return Fail(parsed.error);
  const std::vector<std::string>& operands = parsed.operands;
  if (operands.size() != 2) {
    return Fail("sql takes a database and one statement, e.g. qorvel sql billing.mdb "
                "\"Select Sum(Balance) From Credit Where PeopleID = 417\"");
  }
  if (!IsServerSource(FromUtf8(operands[0])) && !std::filesystem::exists(operands[0])) {
    return Fail("sql: no database at \"" + operands[0] + "\"; give the path of a .mdb or SQLite file");
  }
  Result<Database> database = Database::Open(FromUtf8(operands[0]));
  if (!database.ok()) return DatabaseError("sql", database.error());
  const Result<Rows> rows = database.value().Execute(FromUtf8(operands[1]));
  if (!rows.ok()) return DatabaseError("sql", rows.error());
  if (format == "csv") {
    PrintCsv(rows.value());
  } else if (format == "json") {
    PrintJsonLines(rows.value());
  } else {
    PrintTable(rows.value());
  }
  const std::size_t count = rows.value().row_count();
  std::cerr << count << (count == 1 ? " row\n" : " rows\n");
  return kExitOk;
}

namespace {

// The summary line of a convert and the columns left out; the exit status.
int ReportExport(const ExportSummary& summary, const std::string& target, bool skip_unsupported) {
  std::size_t carried = 0;
  std::size_t skipped = 0;
  for (const Table& table : summary.tables) {
    carried += table.columns.size();
    for (const UnsupportedColumn& column : table.unsupported) {
      ++skipped;
      std::cerr << "qorvel: convert: " << (skip_unsupported ? "skipped" : "could not carry") << " column "
                << ToUtf8(column.name) << " of table " << ToUtf8(table.name) << ": its type is not supported ("
                << ToUtf8(column.kind) << ")\n";
    }
  }
  const std::size_t tables = summary.tables.size();
  std::cerr << "wrote " << tables << (tables == 1 ? " table, " : " tables, ");
  if (summary.rows) std::cerr << *summary.rows << (*summary.rows == 1 ? " row, " : " rows, ");
  std::cerr << carried << (carried == 1 ? " column" : " columns") << " to " << target;
  if (skipped > 0) {
    std::cerr << "; " << skipped << (skipped == 1 ? " column" : " columns") << " left out"
              << (skip_unsupported ? " (--skip-unsupported)" : ": the copy is incomplete");
  }
  std::cerr << "\n";
  return skipped > 0 && !skip_unsupported ? kExitIncomplete : kExitOk;
}

}  // namespace

int ConvertCommand(const std::vector<std::string>& words) {
  bool skip_unsupported = false;
  bool quiet = false;
  bool replace = false;
  Options options("convert");
  options.Flag("--skip-unsupported", &skip_unsupported).Flag("--quiet", &quiet).Flag("--replace", &replace);
  const Options::Parsed parsed = options.Parse(words);
  if (!parsed.error.empty()) return Fail(parsed.error);
  const std::vector<std::string>& operands = parsed.operands;
  if (operands.size() != 2) {
    return Fail("convert takes a database and the SQLite file or PostgreSQL URI to write, e.g. qorvel convert "
                "billing.mdb billing.sqlite");
  }
  const bool to_server = IsServerSource(FromUtf8(operands[1]));
  if (!IsServerSource(FromUtf8(operands[0])) && !std::filesystem::exists(operands[0])) {
    return Fail("convert: no database at \"" + operands[0] + "\"; give the path of a .mdb or SQLite file");
  }
  std::error_code same;
  if (!to_server && std::filesystem::equivalent(operands[0], operands[1], same)) {
    return Fail("convert: the output would replace the database itself; choose another file");
  }
  Result<Database> database = Database::Open(FromUtf8(operands[0]));
  if (!database.ok()) return DatabaseError("convert", database.error());
  // A bar for files that take a while to read (or, to a server, to copy).
  constexpr std::uintmax_t kLargeFile = 16u << 20;
  std::error_code size_error;
  const std::uintmax_t size = std::filesystem::file_size(operands[0], size_error);
  std::optional<Progress> bar;
  Database::Progress report;
  if (!quiet && !size_error && ShowProgress(true, static_cast<std::size_t>(size / 1024), kLargeFile / 1024)) {
    bar.emplace(true, database.value().Tables().size(), "tables");
    report = [&bar](std::size_t done, std::size_t total) { bar->Update(done, done == total); };
  }
  const Result<ExportSummary> exported = to_server
                                             ? database.value().ExportToPostgres(FromUtf8(operands[1]), replace, report)
                                             : database.value().ExportToSqlite(operands[1], report);
  if (!exported.ok()) {
    const int status = DatabaseError("convert", exported.error());
    if (to_server && !replace && exported.error().description().find(u"already has the tables") != Text::npos) {
      std::cerr << "qorvel: convert: --replace drops those tables and copies them again\n";
    }
    return status;
  }
  return ReportExport(exported.value(), to_server ? ToUtf8(ShownSource(FromUtf8(operands[1]))) : operands[1],
                      skip_unsupported);
}

}  // namespace qorvel::tool
