// Opening server databases through the PostgreSQL back end.
#include "platform/server_database.h"

#include <utility>

#include "jet/catalog.h"
#include "pg/database.h"
#include "pg/export.h"

namespace qorvel::platform {
namespace {

class PostgresDatabase final : public ServerDatabase {
 public:
  explicit PostgresDatabase(std::unique_ptr<pg::Database> database) : database_(std::move(database)) {}
  jet::ResultSet Execute(TextView statement) override { return database_->Execute(statement); }
  bool lost() const override { return database_->lost(); }
  std::vector<jet::TableInfo> tables() const override { return database_->tables(); }
  const jet::TableInfo* FindTable(std::u16string_view name) const override { return database_->FindTable(name); }

 private:
  std::unique_ptr<pg::Database> database_;
};

}  // namespace

std::unique_ptr<ServerDatabase> OpenServerDatabase(const Text& uri,
                                                   std::function<DateTime(std::u16string_view)> read_date,
                                                   std::function<DateTime()> now) {
  pg::DatabaseOptions options{std::move(read_date), std::move(now)};
  return std::make_unique<PostgresDatabase>(pg::Database::Open(ToUtf8(uri), std::move(options)));
}

ServerExport ExportToServer(jet::Database& source, const Text& uri, bool replace,
                            const ServerExportProgress& progress) {
  pg::ExportOptions options;
  options.replace = replace;
  pg::ExportProgressFn report;
  if (progress) {
    report = [&progress](const pg::ExportProgress& step) {
      progress(step.done, step.total);
      return true;
    };
  }
  const pg::ExportSummary summary = pg::ExportDatabase(source, ToUtf8(uri), options, report);
  return {summary.tables, summary.rows, summary.columns};
}

}  // namespace qorvel::platform
