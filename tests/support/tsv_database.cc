// The fixture TSV files as a SQLite database.
#include "support/tsv_database.h"

#include <sqlite3.h>

#include <fstream>
#include <vector>

#include "support/split_tabs.h"

namespace qorvel::testing {
namespace {

std::string Quoted(const std::string& text, char quote) {
  std::string out(1, quote);
  for (const char c : text) {
    out += c;
    if (c == quote) out += quote;
  }
  return out + quote;
}

}  // namespace

std::string BuildSqliteFromTsv(const std::filesystem::path& folder, const std::filesystem::path& out) {
  std::filesystem::remove(out);
  sqlite3* db = nullptr;
  if (sqlite3_open(out.string().c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    return "cannot create " + out.string();
  }
  std::string sql = "BEGIN;";
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".tsv") continue;
    std::ifstream in(entry.path());
    std::string line;
    std::getline(in, line);
    std::string create = "CREATE TABLE " + Quoted(entry.path().stem().string(), '"') + " (";
    const std::vector<std::string> header = SplitTabs(line);
    for (std::size_t i = 0; i < header.size(); ++i) {
      const std::size_t colon = header[i].find(':');
      create += (i ? ", " : "") + Quoted(header[i].substr(0, colon), '"') + " " + header[i].substr(colon + 1);
    }
    sql += create + ");";
    while (std::getline(in, line)) {
      if (line.empty()) continue;
      std::vector<std::string> fields = SplitTabs(line);
      fields.resize(header.size());
      std::string insert = "INSERT INTO " + Quoted(entry.path().stem().string(), '"') + " VALUES (";
      for (std::size_t i = 0; i < fields.size(); ++i) {
        insert += (i ? ", " : "") + (fields[i] == "\\N" ? std::string("NULL") : Quoted(fields[i], '\''));
      }
      sql += insert + ");";
    }
  }
  sql += "COMMIT;";
  char* message = nullptr;
  std::string error;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    error = message ? message : "SQLite failed";
  }
  sqlite3_free(message);
  sqlite3_close(db);
  return error;
}

}  // namespace qorvel::testing
