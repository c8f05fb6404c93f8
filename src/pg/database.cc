// Database: statements on a PostgreSQL connection, prepared once per shape.
#include "pg/database.h"

#include <libpq-fe.h>

#include <cstdio>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/errors.h"
#include "jet/sql/parser.h"
#include "jet/sql/resolver.h"
#include "jet/sql/translator.h"
#include "pg/emitter.h"
#include "pg/server.h"
#include "pg/server_catalog.h"
#include "pg/values.h"

namespace qorvel::pg {
namespace {

constexpr std::size_t kMaxPrepared = 256;

// The SQLSTATE of a prepared statement that the server does not know.
constexpr char kUnknownStatement[] = "26000";

// One statement prepared on the server.
struct Prepared {
  std::string name;
  std::string sql;
  jet::ResultColumns columns;
  int now_parameter = 0;
};

// A name no other client of the server chooses, so that a pooler's shared
// server connections never hold another statement under it.
std::string StatementPrefix() {
  std::random_device random;
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "qorvel_%08x%08x_", random(), random());
  return prefix;
}

bool NamesSomethingMissing(Long number) {
  return number == jet::kErrNoSuchTable || number == jet::kErrNoSuchColumn || number == jet::kErrUnsupportedType;
}

}  // namespace

struct Database::Impl {
  std::string uri;
  DatabaseOptions options;
  ConnectionHandle connection;
  ServerCatalog catalog;
  bool catalog_stale = false;  // a statement met a name the server no longer has
  bool lost = false;
  std::string prefix = StatementPrefix();
  std::uint64_t prepared_count = 0;
  std::unordered_map<Text, Prepared> statements;  // by shape and kinds of literal
  jet::sql::ShapedStatement shaped;  // the statement being run; its buffers kept from call to call
  Text key;

  [[noreturn]] void Fail(const pg_result* result, std::u16string_view what) {
    const AutomationError error = ErrorOf(connection.get(), result, uri, what);
    if (StateOf(result) == "42P01" || StateOf(result) == "42703") catalog_stale = true;
    throw error;
  }

  void PrepareOnServer(const Prepared& prepared) {
    const ResultHandle result(PQprepare(connection.get(), prepared.name.c_str(), prepared.sql.c_str(), 0, nullptr));
    if (result == nullptr || PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
      Fail(result.get(), u"preparing the statement");
    }
  }

  jet::sql::SelectStatement Resolved(TextView statement, std::vector<Variant>& literals) {
    literals.clear();
    const std::vector<jet::sql::Token> tokens = jet::sql::Tokenize(statement, options.read_date, &literals);
    jet::sql::SelectStatement tree = jet::sql::Parse(statement, tokens);
    jet::sql::Resolve(&tree, catalog);
    return tree;
  }

  Prepared Prepare(TextView statement) {
    if (catalog_stale) {
      catalog.Load(connection.get(), uri);
      catalog_stale = false;
    }
    std::vector<Variant> literals;
    std::optional<jet::sql::SelectStatement> tree;
    try {
      tree = Resolved(statement, literals);
    } catch (const AutomationError& error) {
      // A table or column made since the catalog was read.
      if (!NamesSomethingMissing(error.number())) throw;
      catalog.Load(connection.get(), uri);
      tree = Resolved(statement, literals);
    }
    Emitted emitted = Emit(*tree, literals);
    Prepared prepared{prefix + std::to_string(prepared_count++), std::move(emitted.sql),
                      jet::ResultColumns(std::move(emitted.columns)), emitted.now_parameter};
    if (statements.size() >= kMaxPrepared) {
      pg::Run(connection.get(), "DEALLOCATE ALL", PGRES_COMMAND_OK, uri, u"dropping prepared statements");
      statements.clear();
    }
    PrepareOnServer(prepared);
    return prepared;
  }

  ResultHandle Run(const Prepared& prepared, const std::vector<const char*>& values) {
    const auto count = static_cast<int>(values.size());
    ResultHandle result(PQexecPrepared(connection.get(), prepared.name.c_str(), count, values.data(), nullptr,
                                       nullptr, 1));
    if (result != nullptr && PQresultStatus(result.get()) != PGRES_TUPLES_OK &&
        StateOf(result.get()) == kUnknownStatement) {
      PrepareOnServer(prepared);
      result.reset(PQexecPrepared(connection.get(), prepared.name.c_str(), count, values.data(), nullptr, nullptr, 1));
    }
    if (result == nullptr || PQresultStatus(result.get()) != PGRES_TUPLES_OK) Fail(result.get(), u"running the statement");
    return result;
  }

  jet::ResultSet Execute(TextView statement) {
    if (lost) {
      jet::Raise(jet::kErrEngineFailure, u"The connection to the PostgreSQL server was lost; it must be opened again.");
    }
    jet::sql::Shape(statement, options.read_date, &shaped);
    key = shaped.shape;
    key += u'\n';
    for (const Variant& literal : shaped.literals) key += static_cast<char16_t>(u'0' + static_cast<int>(literal.type()));
    auto it = statements.find(key);
    if (it == statements.end()) it = statements.emplace(key, Prepare(statement)).first;
    const Prepared& prepared = it->second;

    std::vector<std::optional<std::string>> texts;
    for (const Variant& literal : shaped.literals) texts.push_back(ValueText(literal));
    if (prepared.now_parameter != 0) texts.push_back(TimestampText(options.now()));
    std::vector<const char*> values;
    for (const auto& text : texts) values.push_back(text ? text->c_str() : nullptr);

    const ResultHandle result = Run(prepared, values);
    jet::ResultSet rows;
    rows.columns = prepared.columns;
    const int fields = PQnfields(result.get());
    if (static_cast<std::size_t>(fields) != rows.columns.size()) {
      jet::Raise(jet::kErrEngineFailure, u"The server answered with other columns than the statement asks for.");
    }
    const int count = PQntuples(result.get());
    rows.values.reserve(static_cast<std::size_t>(count) * rows.columns.size());
    for (int r = 0; r < count; ++r) {
      for (int c = 0; c < fields; ++c) {
        if (PQgetisnull(result.get(), r, c)) {
          rows.values.push_back(Variant::Null());
          continue;
        }
        const std::string_view bytes(PQgetvalue(result.get(), r, c),
                                     static_cast<std::size_t>(PQgetlength(result.get(), r, c)));
        rows.values.push_back(DecodeValue(PQftype(result.get(), c), bytes, rows.columns[static_cast<std::size_t>(c)].type));
      }
    }
    return rows;
  }
};

Database::Database(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Database::~Database() = default;

std::unique_ptr<Database> Database::Open(std::string_view uri, DatabaseOptions options) {
  auto impl = std::make_unique<Impl>();
  impl->uri = std::string(uri);
  impl->options = std::move(options);
  impl->connection = Connect(uri);
  impl->catalog.Load(impl->connection.get(), uri);
  return std::unique_ptr<Database>(new Database(std::move(impl)));
}

jet::ResultSet Database::Execute(TextView statement) {
  Impl& d = *impl_;
  try {
    return d.Execute(statement);
  } catch (const AutomationError&) {
    d.lost = d.lost || PQstatus(d.connection.get()) == CONNECTION_BAD;
    throw;
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory();
  } catch (const std::exception& e) {
    d.lost = d.lost || PQstatus(d.connection.get()) == CONNECTION_BAD;
    jet::Raise(jet::kErrEngineFailure, u"Internal error of the PostgreSQL back end: " + FromUtf8(e.what()));
  }
}

bool Database::lost() const { return impl_->lost || PQstatus(impl_->connection.get()) == CONNECTION_BAD; }

const jet::TableInfo* Database::FindTable(std::u16string_view name) const { return impl_->catalog.FindTable(name); }

const std::vector<jet::TableInfo>& Database::tables() const { return impl_->catalog.tables(); }

}  // namespace qorvel::pg
