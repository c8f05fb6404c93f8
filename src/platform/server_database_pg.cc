// Opening server databases through the PostgreSQL back end.
#include "platform/server_database.h"

#include <utility>

#include "pg/database.h"

namespace qorvel::platform {
namespace {

class PostgresDatabase final : public ServerDatabase {
 public:
  explicit PostgresDatabase(std::unique_ptr<pg::Database> database) : database_(std::move(database)) {}
  jet::ResultSet Execute(TextView statement) override { return database_->Execute(statement); }
  bool lost() const override { return database_->lost(); }

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

}  // namespace qorvel::platform
