// Reading SQLite files (opened read-only) into the mirror.
//
// A column's Jet type comes from its declared type:
//   - the declared types that the mirror writes ("JetLong INTEGER",
//     "JetCurrency INTEGER", ...): values in the mirror's own storage
//     (Currency as a count of ten-thousandths, dates as automation dates);
//   - otherwise these names (letter case ignored, a "(n)" suffix dropped):
//       BYTE, TINYINT                          Byte
//       INT, SHORT, SMALLINT, INT2, INTEGER2   Integer (16-bit, as the
//                                              fixtures' TSV files use INT)
//       LONG, INTEGER, INT4, INTEGER4, BIGINT, COUNTER, AUTOINCREMENT   Long
//       SINGLE, FLOAT4                         Single
//       DOUBLE, FLOAT, FLOAT8, REAL, DOUBLE PRECISION   Double
//       MONEY, CURRENCY                        Currency (amounts: 12.5, "12.50")
//       DATETIME, DATE, TIME, TIMESTAMP        DateTime (text "yyyy-mm-dd hh:mm:ss"
//                                              or an automation date number)
//       TEXT, VARCHAR, CHAR, NCHAR, NVARCHAR, STRING, CHARACTER   Text
//       MEMO, LONGTEXT, NTEXT, CLOB            Memo
//       BOOLEAN, BOOL, BIT, YESNO, LOGICAL     Boolean (non-zero, "true", "yes" are Yes)
//       GUID, UNIQUEIDENTIFIER, UUID, REPLICATIONID   GUID (text, any case,
//                                              braces and hyphens optional)
//       NUMERIC, DECIMAL                       Numeric (exact decimal text)
//       BLOB, BINARY, VARBINARY                Binary (the stored bytes)
//       LONGBINARY                             OLE (the stored bytes)
//     and any other name by SQLite's affinity rules: containing INT Long;
//     CHAR, CLOB or TEXT Text; REAL, FLOA or DOUB Double; no type at all Text;
//     the rest are left out, each named in its table's `unsupported`.
//     (The mirror's own JetBinary BLOB and JetOLE BLOB columns keep their
//     bytes, and JetDateTimeExtended TEXT its ISO text.)
// A value that cannot be read as its column's type fails the load with
// kErrDamaged naming the table and column.
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "base/text_ops.h"
#include "jet/errors.h"
#include "jet/row_sink.h"
#include "jet/source.h"
#include "jet/sqlite_handles.h"
#include "jet/system.h"
#include "jet/table_schema.h"
#include "jet/text.h"
#include "jet/values.h"

namespace qorvel::jet {
namespace {

struct ColumnPlan {
  std::string name;  // as the file spells it
  JetType type;
  bool native;  // declared by the mirror: values are in mirror storage
};

std::string_view ColumnText(sqlite3_stmt* stmt, int c) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
  if (text == nullptr) return {};
  return {text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, c))};
}

std::string Upper(std::string_view text) {
  std::string out;
  for (const char c : text) out += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return out;
}

std::string NormalizeDeclared(std::string_view declared) {
  std::string upper = Upper(declared);
  const auto paren = upper.find('(');
  if (paren != std::string::npos) upper.erase(paren);
  // Collapse runs of blanks and trim.
  std::string out;
  for (const char c : upper) {
    if (c == ' ' || c == '\t') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::optional<JetType> TypeOfDeclared(std::string_view declared) {
  const std::string name = NormalizeDeclared(declared);
  struct Entry {
    const char* name;
    JetType type;
  };
  static constexpr Entry kNames[] = {
      {"BYTE", JetType::kByte},         {"TINYINT", JetType::kByte},
      {"INT", JetType::kInteger},       {"SHORT", JetType::kInteger},
      {"SMALLINT", JetType::kInteger},  {"INT2", JetType::kInteger},
      {"INTEGER2", JetType::kInteger},  {"LONG", JetType::kLong},
      {"INTEGER", JetType::kLong},      {"INT4", JetType::kLong},
      {"INTEGER4", JetType::kLong},     {"BIGINT", JetType::kLong},
      {"COUNTER", JetType::kLong},      {"AUTOINCREMENT", JetType::kLong},
      {"SINGLE", JetType::kSingle},     {"FLOAT4", JetType::kSingle},
      {"DOUBLE", JetType::kDouble},     {"FLOAT", JetType::kDouble},
      {"FLOAT8", JetType::kDouble},     {"REAL", JetType::kDouble},
      {"DOUBLE PRECISION", JetType::kDouble},
      {"MONEY", JetType::kCurrency},    {"CURRENCY", JetType::kCurrency},
      {"DATETIME", JetType::kDateTime}, {"DATE", JetType::kDateTime},
      {"TIME", JetType::kDateTime},     {"TIMESTAMP", JetType::kDateTime},
      {"TEXT", JetType::kText},         {"VARCHAR", JetType::kText},
      {"CHAR", JetType::kText},         {"NCHAR", JetType::kText},
      {"NVARCHAR", JetType::kText},     {"STRING", JetType::kText},
      {"CHARACTER", JetType::kText},    {"MEMO", JetType::kMemo},
      {"LONGTEXT", JetType::kMemo},     {"NTEXT", JetType::kMemo},
      {"CLOB", JetType::kMemo},         {"BOOLEAN", JetType::kBoolean},
      {"BOOL", JetType::kBoolean},      {"BIT", JetType::kBoolean},
      {"YESNO", JetType::kBoolean},     {"LOGICAL", JetType::kBoolean},
      {"GUID", JetType::kGuid},         {"UNIQUEIDENTIFIER", JetType::kGuid},
      {"UUID", JetType::kGuid},         {"REPLICATIONID", JetType::kGuid},
      {"NUMERIC", JetType::kNumeric},   {"DECIMAL", JetType::kNumeric},
      {"BLOB", JetType::kBinary},       {"BINARY", JetType::kBinary},
      {"VARBINARY", JetType::kBinary},  {"LONGBINARY", JetType::kOle},
  };
  for (const Entry& entry : kNames) {
    if (name == entry.name) return entry.type;
  }
  if (name.empty()) return JetType::kText;
  if (name.find("INT") != std::string::npos) return JetType::kLong;
  for (const char* text : {"CHAR", "CLOB", "TEXT"}) {
    if (name.find(text) != std::string::npos) return JetType::kText;
  }
  for (const char* real : {"REAL", "FLOA", "DOUB"}) {
    if (name.find(real) != std::string::npos) return JetType::kDouble;
  }
  return std::nullopt;
}

class SqliteSource final : public TableSource {
 public:
  // On a failure db_ closes the connection as the constructor unwinds.
  explicit SqliteSource(const std::filesystem::path& path) : path_(path) {
    const int rc = OpenConnection(SqliteFileName(path).c_str(), SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, &db_);
    if (rc != SQLITE_OK) {
      Raise(kErrDamaged, u"The database file '" + PathText(path) + u"' cannot be opened: " +
                             FromUtf8(sqlite3_errstr(rc)) + u".");
    }
    ReadDefinitions();
  }

  const std::vector<TableInfo>& tables() const override { return tables_; }

  // The file tells no table's size without reading all its pages; the
  // file's own size bounds every table's, and room reserved costs nothing
  // until written (a 32-bit process, whose address space is short, gets a
  // sixteenth of the largest block at most).
  std::uintmax_t SizeHint(std::size_t index) override {
    (void)index;
    const Statement stmt = Prepare("SELECT page_count * page_size FROM pragma_page_count, pragma_page_size");
    if (sqlite3_step(stmt.get()) != SQLITE_ROW) return 0;
    return std::min<std::uintmax_t>(static_cast<std::uintmax_t>(sqlite3_column_int64(stmt.get(), 0)),
                                    MemoryBlock::Largest() / 16);
  }

  void ReadRows(std::size_t index, RowSink& sink) override {
    const TableInfo& info = tables_[index];
    const std::vector<ColumnPlan>& plan = plans_[index];
    std::string sql = "SELECT ";
    for (std::size_t c = 0; c < plan.size(); ++c) {
      if (c > 0) sql += ", ";
      sql += QuoteIdentifier(plan[c].name);
    }
    if (plan.empty()) sql += "NULL";
    sql += " FROM " + QuoteIdentifier(file_names_[index]);
    const Statement stmt = Prepare(sql);
    text_.resize(plan.size());
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
      for (std::size_t c = 0; c < plan.size(); ++c) Store(info, plan, stmt.get(), static_cast<int>(c), sink);
      sink.EndRow();
    }
    if (rc != SQLITE_DONE) Failed(u"the rows of table '" + info.name + u"' cannot be read");
  }

 private:
  [[noreturn]] void Failed(std::u16string_view what) const {
    Raise(kErrDamaged, u"The database file '" + PathText(path_) + u"' is damaged: " + Text(what) +
                           u" (" + FromUtf8(sqlite3_errmsg(db_.get())) + u").");
  }

  Statement Prepare(std::string_view sql) const {
    int rc = SQLITE_OK;
    Statement stmt = PrepareStatement(db_.get(), sql, &rc);
    if (rc != SQLITE_OK) Failed(u"its schema cannot be read");
    return stmt;
  }

  void ReadDefinitions() {
    Statement list = Prepare(
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
        "ESCAPE '\\' ORDER BY rowid");
    std::vector<std::string> names;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(list.get())) == SQLITE_ROW) {
      names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0)));
    }
    list.reset();  // the step's error stays on the connection for Failed
    if (rc != SQLITE_DONE) Failed(u"its schema cannot be read");

    for (const std::string& name : names) {
      TableInfo info;
      info.name = FromUtf8(name);
      bool duplicate = false;
      for (const TableInfo& known : tables_) duplicate = duplicate || FoldText(known.name) == FoldText(info.name);
      if (duplicate) continue;
      std::vector<ColumnPlan> plan;
      Statement columns = Prepare("SELECT name, type FROM pragma_table_info(?1)");
      sqlite3_bind_text(columns.get(), 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      while ((rc = sqlite3_step(columns.get())) == SQLITE_ROW) {
        const auto* column = reinterpret_cast<const char*>(sqlite3_column_text(columns.get(), 0));
        const auto* declared = reinterpret_cast<const char*>(sqlite3_column_text(columns.get(), 1));
        const std::string_view declared_text = declared != nullptr ? declared : "";
        bool native = false;
        std::optional<JetType> type = JetTypeOfDeclared(declared_text);
        if (type) {
          native = true;
        } else {
          type = TypeOfDeclared(declared_text);
        }
        if (column == nullptr) continue;
        if (std::string_view(column) == kNoColumnsPlaceholder && EqualsIgnoringAsciiCase(declared_text, "BLOB")) {
          continue;
        }
        if (!type) {
          info.unsupported.push_back({FromUtf8(column), u"declared type " + FromUtf8(declared_text)});
          continue;
        }
        plan.push_back({column, *type, native});
        info.columns.push_back({FromUtf8(column), *type});
      }
      columns.reset();  // as list above
      if (rc != SQLITE_DONE) Failed(u"the columns of table '" + info.name + u"' cannot be read");
      tables_.push_back(std::move(info));
      plans_.push_back(std::move(plan));
      file_names_.push_back(name);
    }
    AssignMirrorNames(tables_);
  }

  [[noreturn]] void BadValue(const TableInfo& table, int column) const {
    Raise(kErrDamaged, u"The database file '" + PathText(path_) + u"' holds a value in column '" +
                           table.columns[static_cast<std::size_t>(column)].name + u"' of table '" +
                           table.name + u"' that is not a " +
                           FromUtf8(JetTypeName(table.columns[static_cast<std::size_t>(column)].type)) +
                           u".");
  }

  // The value as a whole number within [low, high], or BadValue.
  std::int64_t WholeNumber(const TableInfo& table, sqlite3_stmt* stmt, int c, std::int64_t low,
                           std::int64_t high) const {
    std::int64_t value = 0;
    switch (sqlite3_column_type(stmt, c)) {
      case SQLITE_INTEGER: value = sqlite3_column_int64(stmt, c); break;
      case SQLITE_FLOAT: {
        const double d = sqlite3_column_double(stmt, c);
        if (!(d >= -9.2e18 && d <= 9.2e18) || std::trunc(d) != d) BadValue(table, c);
        value = static_cast<std::int64_t>(d);
        break;
      }
      default: {
        const auto decimal = ParseDecimal(ColumnText(stmt, c));
        if (!decimal || decimal->hi != 0 || decimal->lo > 0x7fffffffffffffffULL) BadValue(table, c);
        for (int s = 0; s < decimal->scale; ++s) {
          if (decimal->lo % 10 != 0) BadValue(table, c);  // a fraction
        }
        std::uint64_t magnitude = decimal->lo;
        for (int s = 0; s < decimal->scale; ++s) magnitude /= 10;
        value = decimal->negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
        break;
      }
    }
    if (value < low || value > high) BadValue(table, c);
    return value;
  }

  double RealNumber(const TableInfo& table, sqlite3_stmt* stmt, int c) const {
    const int type = sqlite3_column_type(stmt, c);
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return sqlite3_column_double(stmt, c);
    const std::string_view text = ColumnText(stmt, c);
    if (!ParseDecimal(text)) BadValue(table, c);
    const std::string_view trimmed = text.substr(text.find_first_not_of(" \t+"));
    double value = 0;
    std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
    return value;
  }

  void Store(const TableInfo& table, const std::vector<ColumnPlan>& plan, sqlite3_stmt* stmt, int c,
             RowSink& sink) {
    const int storage = sqlite3_column_type(stmt, c);
    if (storage == SQLITE_NULL) {
      sink.SetNull(c);
      return;
    }
    const ColumnPlan& column = plan[static_cast<std::size_t>(c)];
    const bool binary = column.type == JetType::kBinary || column.type == JetType::kOle;
    if (storage == SQLITE_BLOB && column.type != JetType::kText && column.type != JetType::kMemo && !binary) {
      BadValue(table, c);
    }
    std::string& text = text_[static_cast<std::size_t>(c)];
    switch (column.type) {
      case JetType::kByte: sink.SetInteger(c, WholeNumber(table, stmt, c, 0, 255)); return;
      case JetType::kInteger: sink.SetInteger(c, WholeNumber(table, stmt, c, -32768, 32767)); return;
      case JetType::kLong:
        sink.SetInteger(c, WholeNumber(table, stmt, c, -2147483648LL, 2147483647LL));
        return;
      case JetType::kBoolean: {
        if (storage == SQLITE_TEXT) {
          const std::string_view word = ColumnText(stmt, c);
          if (EqualsIgnoringAsciiCase(word, "TRUE") || EqualsIgnoringAsciiCase(word, "YES")) {
            sink.SetInteger(c, -1);
            return;
          }
          if (EqualsIgnoringAsciiCase(word, "FALSE") || EqualsIgnoringAsciiCase(word, "NO")) {
            sink.SetInteger(c, 0);
            return;
          }
        }
        sink.SetInteger(c, RealNumber(table, stmt, c) != 0 ? -1 : 0);
        return;
      }
      case JetType::kSingle:
        sink.SetReal(c, static_cast<float>(RealNumber(table, stmt, c)));
        return;
      case JetType::kDouble: sink.SetReal(c, RealNumber(table, stmt, c)); return;
      case JetType::kCurrency: {
        if (column.native && storage == SQLITE_INTEGER) {
          sink.SetInteger(c, sqlite3_column_int64(stmt, c));
          return;
        }
        std::optional<std::int64_t> raw;
        if (storage == SQLITE_FLOAT) {
          const double scaled = std::nearbyint(sqlite3_column_double(stmt, c) * 10000.0);
          if (scaled >= -9.2e18 && scaled <= 9.2e18) raw = static_cast<std::int64_t>(scaled);
        } else {
          raw = ParseMoney(ColumnText(stmt, c));
        }
        if (!raw) BadValue(table, c);
        sink.SetInteger(c, *raw);
        return;
      }
      case JetType::kDateTime: {
        if (storage == SQLITE_TEXT) {
          const auto date = ParseIsoDateTime(ColumnText(stmt, c));
          if (!date) BadValue(table, c);
          sink.SetReal(c, date->value());
          return;
        }
        const double value = sqlite3_column_double(stmt, c);
        if (!DateTime(value).IsValid()) BadValue(table, c);
        sink.SetReal(c, value);
        return;
      }
      case JetType::kText:
      case JetType::kMemo:
        text.assign(ColumnText(stmt, c));
        // The collation needs well-formed text: mend what a foreign file holds.
        if (InvalidUtf8At(text)) text = ToUtf8(FromUtf8(text));
        sink.SetText(c, text);
        return;
      case JetType::kGuid: {
        const auto guid = NormalizeGuid(ColumnText(stmt, c));
        if (!guid) BadValue(table, c);
        text = *guid;
        sink.SetText(c, text);
        return;
      }
      case JetType::kNumeric: {
        const auto decimal = ParseDecimal(ColumnText(stmt, c));
        if (!decimal) BadValue(table, c);
        text = decimal->ToString();
        sink.SetText(c, text);
        return;
      }
      case JetType::kBinary:
      case JetType::kOle: {
        const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, c));
        sink.SetBlob(c, std::span(bytes, bytes == nullptr ? 0 : static_cast<std::size_t>(sqlite3_column_bytes(stmt, c))));
        return;
      }
      case JetType::kDateTimeExtended: {
        text.assign(ColumnText(stmt, c));
        if (!IsExtendedDateTimeText(text)) BadValue(table, c);
        sink.SetText(c, text);
        return;
      }
    }
  }

  std::filesystem::path path_;
  Connection db_;
  std::vector<TableInfo> tables_;
  std::vector<std::vector<ColumnPlan>> plans_;
  std::vector<std::string> file_names_;
  std::vector<std::string> text_;
};

}  // namespace

std::unique_ptr<TableSource> OpenSqliteSource(const std::filesystem::path& path) {
  return std::make_unique<SqliteSource>(path);
}

}  // namespace qorvel::jet
