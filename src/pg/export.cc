// Copying a database's tables into PostgreSQL.
#include "pg/export.h"

#include <libpq-fe.h>

#include <algorithm>
#include <set>

#include "base/text_ops.h"
#include "jet/errors.h"
#include "jet/index_rule.h"
#include "jet/sql/translator.h"
#include "jet/values.h"
#include "pg/server.h"
#include "pg/values.h"

namespace qorvel::pg {
namespace {

using jet::JetType;

constexpr std::size_t kCopyChunk = 1 << 16;
constexpr std::size_t kBatchRows = 4096;

std::string LowerName(std::u16string_view name) { return AsciiLowercase(ToUtf8(name)); }

// The server type of a column. A Decimal column of a file that declares no
// digits (SQLite) is a plain numeric, which keeps any value exactly.
std::string ServerType(const jet::ColumnInfo& info) {
  switch (info.type) {
    case JetType::kByte:
    case JetType::kInteger: return "smallint";
    case JetType::kLong: return "integer";
    case JetType::kSingle: return "real";
    case JetType::kDouble: return "double precision";
    case JetType::kCurrency: return "numeric(19,4)";
    case JetType::kDateTime: return "timestamp without time zone";
    case JetType::kText: return info.length > 0 ? "varchar(" + std::to_string(info.length) + ")" : "varchar";
    case JetType::kMemo: return "text";
    case JetType::kBoolean: return "boolean";
    case JetType::kGuid: return "uuid";
    case JetType::kBinary:
    case JetType::kOle: return "bytea";
    case JetType::kDateTimeExtended: return "varchar(27)";
    case JetType::kNumeric:
      return info.precision > 0 ? "numeric(" + std::to_string(info.precision) + "," + std::to_string(info.scale) + ")"
                                : "numeric";
  }
  return "text";
}

// Appends a value to a row of COPY's text format.
void AppendCopyValue(std::string& line, const std::optional<std::string>& text, JetType type) {
  if (!text) {
    line += "\\N";
    return;
  }
  if (type == JetType::kBinary || type == JetType::kOle) line += "\\\\x";  // the engine's hexadecimal digits
  for (const char c : *text) {
    switch (c) {
      case '\\': line += "\\\\"; break;
      case '\n': line += "\\n"; break;
      case '\r': line += "\\r"; break;
      case '\t': line += "\\t"; break;
      default: line += c;
    }
  }
}

DateTime ReadIsoDate(std::u16string_view text) {
  const auto date = jet::ParseIsoDateTime(text);
  if (!date) jet::Raise(jet::kErrSyntax, u"Not an ISO date: " + Text(text));
  return *date;
}

class Exporter {
 public:
  Exporter(jet::Database& source, std::string_view uri, const ExportOptions& options, const ExportProgressFn& progress)
      : source_(source), uri_(uri), options_(options), progress_(progress) {}

  ExportSummary Run() {
    connection_ = Connect(uri_);
    hints_ = IndexHints();
    Exec("BEGIN");
    ClearTargets();
    const std::vector<jet::TableInfo>& tables = source_.tables();
    for (std::size_t t = 0; t < tables.size(); ++t) CopyTable(tables[t], t + 1, tables.size());
    CreateIndexes();
    Exec("COMMIT");
    for (const jet::TableInfo& table : tables) Exec("ANALYZE " + QuoteName(LowerName(table.name)));
    return summary_;
  }

 private:
  void Exec(const std::string& sql) { pg::Run(connection_.get(), sql, PGRES_COMMAND_OK, uri_, u"exporting"); }

  // Refuses a target that has one of the tables, or drops them.
  void ClearTargets() {
    const ResultHandle existing =
        pg::Run(connection_.get(),
                "SELECT relname FROM pg_catalog.pg_class WHERE relnamespace = "
                "(SELECT oid FROM pg_catalog.pg_namespace WHERE nspname = current_schema()) "
                "AND relkind IN ('r', 'p', 'v', 'm', 'f')",
                PGRES_TUPLES_OK, uri_, u"reading the target's tables");
    std::set<std::string> names;
    for (int r = 0; r < PQntuples(existing.get()); ++r) names.insert(PQgetvalue(existing.get(), r, 0));
    Text clashes;
    for (const jet::TableInfo& table : source_.tables()) {
      const std::string name = LowerName(table.name);
      if (names.count(name) == 0) continue;
      if (options_.replace) {
        Exec("DROP TABLE " + QuoteName(name) + " CASCADE");
      } else {
        clashes += (clashes.empty() ? u"" : u", ") + FromUtf8(name);
      }
    }
    if (!clashes.empty()) {
      jet::Raise(jet::kErrEngineFailure, u"The PostgreSQL database already has the tables " + clashes +
                                             u"; nothing was exported (replace them to export).");
    }
  }

  // Creates the table and copies its rows, a batch at a time, so that the
  // server takes in one batch while the next is read; counts the distinct
  // values of the first rows of the columns that may get an index.
  void CopyTable(const jet::TableInfo& table, std::size_t done, std::size_t total) {
    const std::string name = QuoteName(LowerName(table.name));
    std::string create = "CREATE TABLE " + name + " (";
    std::string columns;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
      const std::string column = QuoteName(LowerName(table.columns[c].name));
      create += (c > 0 ? ", " : "") + column + " " + ServerType(table.columns[c]);
      columns += (c > 0 ? ", " : "") + column;
    }
    Exec(create + ")");
    std::vector<std::set<std::string>> seen(table.columns.size());
    std::vector<bool> hinted(table.columns.size());
    for (std::size_t c = 0; c < table.columns.size(); ++c) hinted[c] = Hinted(table, table.columns[c]);
    std::size_t rows = 0;
    if (!table.columns.empty()) {
      const ResultHandle copy = pg::Run(connection_.get(), "COPY " + name + " (" + columns + ") FROM STDIN",
                                        PGRES_COPY_IN, uri_, u"starting to copy rows");
      std::string chunk;
      source_.ReadTable(table.name, kBatchRows, [&](const jet::ResultSet& batch) {
        for (std::size_t r = 0; r < batch.row_count(); ++r, ++rows) {
          for (std::size_t c = 0; c < table.columns.size(); ++c) {
            if (c > 0) chunk += '\t';
            const Variant& value = batch.at(r, c);
            const std::optional<std::string> text = ValueText(value);
            AppendCopyValue(chunk, text, table.columns[c].type);
            if (hinted[c] && text && rows < std::size_t{jet::kFlagSample} && seen[c].size() <= jet::kFlagValues) {
              seen[c].insert(*text);
            }
          }
          chunk += '\n';
          if (chunk.size() >= kCopyChunk) Send(chunk);
        }
      });
      Send(chunk);
      if (PQputCopyEnd(connection_.get(), nullptr) != 1) Fail(nullptr);
      const ResultHandle end(PQgetResult(connection_.get()));
      if (end == nullptr || PQresultStatus(end.get()) != PGRES_COMMAND_OK) Fail(end.get());
      while (ResultHandle(PQgetResult(connection_.get())) != nullptr) {
      }
    }
    ChooseIndexes(table, hinted, seen);
    ++summary_.tables;
    summary_.rows += rows;
    summary_.columns += table.columns.size();
    if (progress_ && !progress_({FromUtf8(LowerName(table.name)), done, total, rows})) {
      jet::Raise(jet::kErrEngineFailure, u"The export was stopped; the PostgreSQL database was left as it was.");
    }
  }

  bool Hinted(const jet::TableInfo& table, const jet::ColumnInfo& column) const {
    return std::any_of(hints_.begin(), hints_.end(), [&](const jet::sql::IndexHint& hint) {
      return hint.table == table.name && hint.column == column.name;
    });
  }

  void Send(std::string& chunk) {
    if (!chunk.empty() && PQputCopyData(connection_.get(), chunk.data(), static_cast<int>(chunk.size())) != 1) {
      Fail(nullptr);
    }
    chunk.clear();
  }

  [[noreturn]] void Fail(const pg_result* result) { throw ErrorOf(connection_.get(), result, uri_, u"copying rows"); }

  // The columns the index statements test for equality or join on.
  std::vector<jet::sql::IndexHint> IndexHints() const {
    const std::vector<Text> statements =
        options_.index_statements.empty() ? LookupStatements(source_.tables()) : options_.index_statements;
    std::vector<jet::sql::IndexHint> hints;
    for (const Text& statement : statements) {
      try {
        const jet::sql::Translation translation = jet::sql::Translate(statement, source_, ReadIsoDate);
        hints.insert(hints.end(), translation.index_hints.begin(), translation.index_hints.end());
      } catch (const AutomationError&) {
        // A statement on tables or columns this database lacks.
      }
    }
    return hints;
  }

  // The indexes of `table`: the primary key and indexes the source
  // declares, then one on each hinted column that is no flag and that no
  // declared index leads with. Text is compared as upper(column), so a
  // hinted text column gets an index on that.
  void ChooseIndexes(const jet::TableInfo& table, const std::vector<bool>& hinted,
                     const std::vector<std::set<std::string>>& seen) {
    const std::string name = QuoteName(LowerName(table.name));
    const auto columns_of = [](const jet::IndexInfo& index) {
      std::string list;
      for (const std::u16string& column : index.columns) {
        list += (list.empty() ? "" : ", ") + QuoteName(LowerName(column));
      }
      return list;
    };
    // The primary key first, then unique indexes: an index on the same
    // columns as one made before is left out (the server scans an index
    // either way, so one kept in each order is one too many).
    std::vector<jet::IndexInfo> declared = table.indexes;
    std::stable_sort(declared.begin(), declared.end(), [](const jet::IndexInfo& a, const jet::IndexInfo& b) {
      return std::pair(a.primary, a.unique) > std::pair(b.primary, b.unique);
    });
    for (auto index = declared.begin(); index != declared.end(); ++index) {
      if (std::any_of(declared.begin(), index, [&](const jet::IndexInfo& made) { return made.columns == index->columns; })) {
        continue;
      }
      indexes_.push_back(index->primary ? "ALTER TABLE " + name + " ADD PRIMARY KEY (" + columns_of(*index) + ")"
                                        : std::string(index->unique ? "CREATE UNIQUE INDEX ON " : "CREATE INDEX ON ") +
                                              name + " (" + columns_of(*index) + ")");
    }
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
      const jet::ColumnInfo& column = table.columns[c];
      const bool text = column.type == JetType::kText || column.type == JetType::kMemo;
      const bool led = std::any_of(table.indexes.begin(), table.indexes.end(), [&](const jet::IndexInfo& index) {
        return index.columns.front() == column.name;
      });
      // A flag, as the file engine's index rule counts (jet::DecideIndex):
      // few distinct values among its first ones, Null not counted.
      const bool flag = seen[c].size() <= jet::kFlagValues;
      if (!hinted[c] || (led && !text) || flag) continue;
      const std::string quoted = QuoteName(LowerName(column.name));
      indexes_.push_back("CREATE INDEX ON " + name + " (" + (text ? "upper(" + quoted + ")" : quoted) + ")");
    }
  }

  void CreateIndexes() {
    for (const std::string& sql : indexes_) Exec(sql);
    summary_.indexes = indexes_.size();
  }

  jet::Database& source_;
  std::string uri_;
  const ExportOptions& options_;
  const ExportProgressFn& progress_;
  ConnectionHandle connection_;
  std::vector<jet::sql::IndexHint> hints_;
  std::vector<std::string> indexes_;
  ExportSummary summary_;
};

}  // namespace

std::vector<Text> LookupStatements(const std::vector<jet::TableInfo>& tables) {
  const Text joined = u"From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = ActivityLog.GUID ";
  const Text period = u" >= #2011-01-01# And DateValue(";
  std::vector<Text> statements = {
      u"Select Max (DateEntered), Max (DateModified) From CaseClientContact Where PeopleID = 0 And Category = ''",
      u"Select Payment " + joined +
          u"Where ActivityLog.Active = 1 And Payment.Active = 1 And Payment > 0 And PeopleID = 0 Order By PaymentDate Desc",
      u"Select Sum(Balance) From Credit Where Active = 1 And Retainer = 1 And PeopleID = 0",
      u"Select Sum(Balance) From ActivityLog Where Active = 1 And InvoiceNumber Is Not Null And InvoiceNumber < 0 "
      u"And PeopleID = 0",
      u"Select Max (DateEntered) From Invoice Where Status = 1 And InvoiceNumber < 0 And PeopleID = 0",
      u"Select Sum(Fee) From ActivityLog Where Active = 1 And InvoiceNumber = 0",
      u"Select Balance, DateDiff('d', InvoiceDate, Now()) As Age From ActivityLog Where Active = 1 And InvoiceDate "
      u"Is Not Null And PeopleID = 0",
      u"Select Count(*) " + joined +
          u"Where Payment.Active = 1 And Payment.DateEntered > #2011-01-01# And Payment.DateEntered <= #2011-01-31# "
          u"And PeopleID = 0",
      u"Select Enabled From LTCBenefit Where PeopleID = 0 And BenefitType = ''",
      u"Select Sum(Payment) " + joined + u"Where Payment.Active = 1 And DateValue(Payment.PaymentDate)" + period +
          u"Payment.PaymentDate) <= #2011-01-31# And PeopleID = 0 And CareProviderID = ''",
      u"Select Sum(Fee) From ActivityLog Where Active = 1 And DateValue(ActivityDate)" + period +
          u"ActivityDate) <= #2011-01-31# And PeopleID = 0 And CareProviderID = ''",
  };
  for (const jet::TableInfo& table : tables) {
    if (table.name.find(u']') != Text::npos) continue;
    statements.push_back(u"Select Max (DateEntered), Max (DateModified) From [" + table.name + u"] Where PeopleID = 0");
  }
  return statements;
}

ExportSummary ExportDatabase(jet::Database& source, std::string_view uri, const ExportOptions& options,
                             const ExportProgressFn& progress) {
  return Exporter(source, uri, options, progress).Run();
}

}  // namespace qorvel::pg
