// The Connection and Recordset over our engine (which a host also gets from
// CreateEngineConnection and CreateEngineRecordset), and the OLE DB
// connection string reader.
#include "platform/jet_database.h"

#include "base/text_ops.h"

#include <filesystem>
#include <string>
#include <utility>

#include "jet/database.h"
#include "jet/values.h"
#include "platform/locale.h"
#include "qorvel/automation_error.h"

namespace qorvel::platform {
namespace {

// The file that a connection string names, as a path of the system: on
// Windows its UTF-16 text as it is (never through the ANSI code page, which
// a path made from narrow text goes through there), elsewhere its UTF-8.
std::filesystem::path FilePath(const Text& text) {
  using Native = std::filesystem::path::string_type;
  if constexpr (sizeof(Native::value_type) == sizeof(char16_t)) {
    return Native(text.begin(), text.end());
  } else {
    return ToUtf8(text);
  }
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

TextView Trim(TextView text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

[[noreturn]] void BadString(std::size_t position, std::u16string_view what) {
  throw AutomationError(kErrBadConnectionString,
                        u"The connection string is malformed at character " +
                            DecimalText(static_cast<long long>(position + 1)) + u": " + Text(what) + u".");
}

DateTime ReadDateLiteral(std::u16string_view text) {
  if (const auto iso = jet::ParseIsoDateTime(text)) return *iso;
  return UserLocale().TextToDate(Text(text));
}

// Reads from text[i] into `out` up to the first `end` that is not doubled
// (a doubled `end` stands for one `end`), or up to `stop` when it is not
// NUL. Returns whether `end` was met; `i` then stands after it, else at
// `stop` or the end of the text.
bool ReadUpTo(TextView text, std::size_t& i, char16_t end, char16_t stop, Text& out) {
  while (i < text.size() && (stop == u'\0' || text[i] != stop)) {
    if (text[i] == end) {
      if (i + 1 < text.size() && text[i + 1] == end) {
        out += end;
        i += 2;
        continue;
      }
      ++i;
      return true;
    }
    out += text[i++];
  }
  return false;
}

}  // namespace

std::vector<ConnectionProperty> ParseConnectionString(TextView text) {
  std::vector<ConnectionProperty> properties;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    // Keyword: up to a single '=' ("==" is a literal '=').
    const std::size_t start = i;
    Text keyword;
    const bool found_equals = ReadUpTo(text, i, u'=', u';', keyword);
    const TextView trimmed_keyword = Trim(keyword);
    if (!found_equals) {
      if (!trimmed_keyword.empty()) BadString(start, u"'" + Text(trimmed_keyword) + u"' has no '=' and value");
      ++i;  // an empty pair
      continue;
    }
    if (trimmed_keyword.empty()) BadString(start, u"a value has no keyword");

    // Value: quoted, or up to the next ';'.
    while (i < n && IsBlank(text[i])) ++i;
    Text value;
    if (i < n && (text[i] == u'"' || text[i] == u'\'')) {
      const char16_t quote = text[i];
      const std::size_t open = i++;
      if (!ReadUpTo(text, i, quote, u'\0', value)) {
        BadString(open, u"the quoted value of '" + Text(trimmed_keyword) + u"' does not end");
      }
      while (i < n && IsBlank(text[i])) ++i;
      if (i < n && text[i] != u';') {
        BadString(i, u"text follows the quoted value of '" + Text(trimmed_keyword) + u"'");
      }
    } else {
      const std::size_t value_start = i;
      while (i < n && text[i] != u';') ++i;
      value = Text(Trim(text.substr(value_start, i - value_start)));
    }
    if (i < n) ++i;  // the ';'

    bool replaced = false;
    for (auto& property : properties) {
      if (EqualsIgnoringAsciiCase(property.keyword, trimmed_keyword)) {
        property.value = value;
        replaced = true;
      }
    }
    if (!replaced) properties.push_back({Text(trimmed_keyword), std::move(value)});
  }
  return properties;
}

const Text* FindProperty(const std::vector<ConnectionProperty>& properties, TextView keyword) {
  for (const auto& property : properties) {
    if (EqualsIgnoringAsciiCase(property.keyword, keyword)) return &property.value;
  }
  return nullptr;
}

JetConnection::JetConnection(std::function<DateTime()> now) : now_(std::move(now)) {}
JetConnection::~JetConnection() = default;

Long JetConnection::State() const {
  return database_ != nullptr || (server_ != nullptr && !server_->lost()) ? kStateOpen : kStateClosed;
}

void JetConnection::SetProvider(const Text& provider) { provider_ = provider; }

void JetConnection::Open(const Text& connection_string, const Text&, const Text&, Long) {
  Close();
  const auto properties = ParseConnectionString(connection_string);
  Text provider = provider_;
  if (const Text* named = FindProperty(properties, u"Provider")) provider = *named;
  if (!EqualsIgnoringAsciiCase(Trim(provider), kJetProvider)) {
    throw AutomationError(kErrProviderNotFound,
                          u"The provider '" + provider +
                              u"' is not available: this engine serves Microsoft.Jet.OLEDB.4.0 only.");
  }
  const Text* source = FindProperty(properties, u"Data Source");
  if (source != nullptr && IsServerDatabase(*source)) {
    server_ = OpenServerDatabase(*source, ReadDateLiteral, now_);
    return;
  }
  const Text* password = FindProperty(properties, u"Jet OLEDB:Database Password");
  jet::DatabaseOptions options;
  options.read_date = ReadDateLiteral;
  options.now = now_;
  database_ = jet::Database::Open(FilePath(source != nullptr ? *source : Text()),
                                  password != nullptr ? *password : Text(), std::move(options));
}

void JetConnection::Close() {
  database_.reset();
  server_.reset();
}

jet::ResultSet JetConnection::Execute(TextView statement) {
  if (server_ != nullptr) return server_->Execute(statement);
  if (database_ != nullptr) return database_->Execute(statement);
  throw AutomationError(kErrObjectClosed, u"The connection is closed.");
}

JetRecordset::JetRecordset() = default;
JetRecordset::~JetRecordset() = default;

void JetRecordset::RequireOpen() const {
  if (rows_ == nullptr) {
    throw AutomationError(kErrObjectClosed, u"The recordset is closed.");
  }
}

namespace {

JetConnection& EngineConnection(Connection& connection) {
  auto* jet_connection = dynamic_cast<JetConnection*>(&connection);
  if (jet_connection == nullptr) {
    throw AutomationError(kErrBadArguments, u"The active connection is not a connection of this engine.");
  }
  return *jet_connection;
}

}  // namespace

jet::Database& DatabaseOf(Connection& connection) {
  JetConnection& jet_connection = EngineConnection(connection);
  if (jet_connection.database() == nullptr && jet_connection.State() == kStateOpen) {
    throw AutomationError(kErrBadArguments, u"The connection is open on a server database, not on a file.");
  }
  if (jet_connection.database() == nullptr) {
    throw AutomationError(kErrObjectClosed, u"The connection is closed.");
  }
  return *jet_connection.database();
}

void JetRecordset::Open(const Text& source, Connection& active_connection, Long cursor_type,
                        Long lock_type, Long options) {
  if (rows_ != nullptr) {
    throw AutomationError(kErrObjectOpen, u"The recordset is already open; close it first.");
  }
  if (cursor_type < -1 || cursor_type > 3 || lock_type < -1 || lock_type > 4 || lock_type == 0 ||
      !(options == -1 || options == 1 || options == 8)) {
    throw AutomationError(kErrBadArguments,
                          u"The recordset's cursor type, lock type or options are out of range.");
  }
  auto rows = std::make_unique<jet::ResultSet>(EngineConnection(active_connection).Execute(source));
  rows_ = std::move(rows);
  current_ = 0;
}

bool JetRecordset::Eof() const {
  RequireOpen();
  return current_ >= rows_->row_count();
}

Variant JetRecordset::Field(Integer index) const {
  RequireOpen();
  if (index < 0 || static_cast<std::size_t>(index) >= rows_->columns.size()) {
    throw AutomationError(kErrNoSuchField, u"The recordset has no field " +
                                               DecimalText(index) + u".");
  }
  if (current_ >= rows_->row_count()) {
    throw AutomationError(kErrNoCurrentRow, u"There is no current row: the recordset is at its end.");
  }
  return rows_->at(current_, static_cast<std::size_t>(index));
}

void JetRecordset::MoveNext() {
  RequireOpen();
  if (current_ >= rows_->row_count()) {
    throw AutomationError(kErrNoCurrentRow, u"There is no current row: the recordset is at its end.");
  }
  ++current_;
}

void JetRecordset::Close() {
  RequireOpen();
  rows_.reset();
  current_ = 0;
}

}  // namespace qorvel::platform

namespace qorvel {

std::unique_ptr<Connection> CreateEngineConnection(std::function<DateTime()> now) {
  return std::make_unique<platform::JetConnection>(std::move(now));
}

std::unique_ptr<Recordset> CreateEngineRecordset() { return std::make_unique<platform::JetRecordset>(); }

}  // namespace qorvel
