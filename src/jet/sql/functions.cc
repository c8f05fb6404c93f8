// The SQLite side of the dialect: the functions and the collation that the
// translated SQL calls, the binding of literals, and the mapping of SQLite
// errors to the engine's AutomationErrors.
//
// A registered function that fails reports an error message of the form
// "qorvel:<number>:<description>", which ErrorFromSqlite turns back into
// the AutomationError; no exception ever crosses SQLite.
#include "jet/sql/functions.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "jet/errors.h"
#include "jet/sql/translator.h"

namespace qorvel::jet::sql {
namespace {

constexpr char kErrorPrefix[] = "qorvel:";

void ResultError(sqlite3_context* context, Long number, std::string_view description) {
  std::string message = kErrorPrefix + std::to_string(number) + ":";
  message += description;
  sqlite3_result_error(context, message.c_str(), static_cast<int>(message.size()));
}

// Reads a date argument. Returns false when the result is already decided:
// Null for a Null argument, an error for a value that is not a date.
bool ReadDate(sqlite3_context* context, sqlite3_value* value, DateTime* out) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_NULL: sqlite3_result_null(context); return false;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: *out = DateTime(sqlite3_value_double(value)); break;
    default:
      ResultError(context, kErrTypeMismatch, "Data type mismatch: a date function was given text");
      return false;
  }
  if (!out->IsValid()) {
    ResultError(context, kErrEngineFailure, "Overflow: a date value is outside the range of dates");
    return false;
  }
  return true;
}

// DateValue(x): the calendar date of x. For a date before 30 December 1899
// the fraction is still the time of day, so the date is the day number
// (-1.25 gives -1.0), not the floor of the value.
void DateValueFunction(sqlite3_context* context, int, sqlite3_value** argv) {
  DateTime date;
  if (!ReadDate(context, argv[0], &date)) return;
  sqlite3_result_double(context, date.DatePart().value());
}

// DateDiff('d', a, b): the calendar-day boundaries from a to b, that is the
// day number of b minus the day number of a, whatever the times of day.
void DateDiffDayFunction(sqlite3_context* context, int, sqlite3_value** argv) {
  DateTime a;
  DateTime b;
  // A Null first argument decides the result before the second is read.
  if (!ReadDate(context, argv[0], &a)) return;
  if (!ReadDate(context, argv[1], &b)) return;
  sqlite3_result_int64(context, b.DayNumber() - a.DayNumber());
}

using Clock = std::function<DateTime()>;

void NowFunction(sqlite3_context* context, int, sqlite3_value**) {
  const auto* clock = static_cast<const Clock*>(sqlite3_user_data(context));
  try {
    sqlite3_result_double(context, (*clock)().value());
  } catch (const AutomationError& error) {
    ResultError(context, error.number(), ToUtf8(error.description()));
  } catch (...) {
    ResultError(context, kErrEngineFailure, "The clock of Now() failed");
  }
}

void DeleteClock(void* clock) { delete static_cast<Clock*>(clock); }

int NumericCollation(void*, int size_a, const void* a, int size_b, const void* b) {
  return CompareDecimalText(
      std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(size_a)),
      std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(size_b)));
}

struct DecimalParts {
  bool valid = false;
  bool negative = false;
  std::string_view integer;   // without leading zeros
  std::string_view fraction;  // without trailing zeros
};

DecimalParts SplitDecimal(std::string_view text) {
  DecimalParts parts;
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') {
    parts.negative = true;
    ++i;
  }
  const std::size_t integer_start = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  std::size_t digits = i - integer_start;
  parts.integer = text.substr(integer_start, i - integer_start);
  if (i < text.size() && text[i] == '.') {
    const std::size_t fraction_start = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    digits += i - fraction_start;
    parts.fraction = text.substr(fraction_start, i - fraction_start);
  }
  if (i != text.size() || digits == 0) return parts;
  while (!parts.integer.empty() && parts.integer.front() == '0') parts.integer.remove_prefix(1);
  while (!parts.fraction.empty() && parts.fraction.back() == '0') parts.fraction.remove_suffix(1);
  if (parts.integer.empty() && parts.fraction.empty()) parts.negative = false;  // -0 is 0
  parts.valid = true;
  return parts;
}

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace

int CompareDecimalText(std::string_view a, std::string_view b) {
  const DecimalParts x = SplitDecimal(a);
  const DecimalParts y = SplitDecimal(b);
  if (!x.valid || !y.valid) {
    if (x.valid != y.valid) return x.valid ? -1 : 1;
    return Sign(a.compare(b));
  }
  if (x.negative != y.negative) return x.negative ? -1 : 1;
  int magnitude = 0;
  if (x.integer.size() != y.integer.size()) {
    magnitude = x.integer.size() < y.integer.size() ? -1 : 1;
  } else {
    magnitude = Sign(x.integer.compare(y.integer));
    // Without trailing zeros, the longer of two fractions with a common
    // start is the larger, which is the lexicographic order.
    if (magnitude == 0) magnitude = Sign(x.fraction.compare(y.fraction));
  }
  return x.negative ? -magnitude : magnitude;
}

void RegisterFunctions(sqlite3* db, std::function<DateTime()> now) {
  constexpr int kPure = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  int rc = sqlite3_create_function_v2(db, kDateValueFunction, 1, kPure, nullptr, DateValueFunction,
                                      nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_create_function_v2(db, kDateDiffDayFunction, 2, kPure, nullptr,
                                    DateDiffDayFunction, nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) {
    // SQLite calls DeleteClock when the function is replaced or the
    // connection closes, and also when this registration fails.
    rc = sqlite3_create_function_v2(db, kNowFunction, 0, SQLITE_UTF8 | SQLITE_INNOCUOUS,
                                    new Clock(std::move(now)), NowFunction, nullptr, nullptr,
                                    DeleteClock);
  }
  if (rc == SQLITE_OK) {
    rc = sqlite3_create_collation_v2(db, kNumericCollation, SQLITE_UTF8, nullptr, NumericCollation,
                                     nullptr);
  }
  if (rc != SQLITE_OK) throw ErrorFromSqlite(db, rc);
}

void BindParameters(sqlite3_stmt* statement, const std::vector<Variant>& parameters) {
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const Variant& value = parameters[i];
    const int index = static_cast<int>(i) + 1;
    int rc = SQLITE_OK;
    switch (value.type()) {
      case VarType::kText: {
        const std::string utf8 = ToUtf8(value.AsText());
        rc = sqlite3_bind_text64(statement, index, utf8.data(), utf8.size(), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
        break;
      }
      case VarType::kLong: rc = sqlite3_bind_int64(statement, index, value.AsLong()); break;
      case VarType::kDouble: rc = sqlite3_bind_double(statement, index, value.AsDouble()); break;
      case VarType::kDate:
        rc = sqlite3_bind_double(statement, index, value.AsDate().value());
        break;
      case VarType::kNull: rc = sqlite3_bind_null(statement, index); break;
      default:
        Raise(kErrEngineFailure, u"Cannot bind a literal of type " +
                                 FromUtf8(VarTypeName(value.type())) +
                                 u" to the statement.");
    }
    if (rc != SQLITE_OK) throw ErrorFromSqlite(sqlite3_db_handle(statement), rc);
  }
}

AutomationError ErrorFromSqlite(sqlite3* db, int result_code) {
  const char* raw = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(result_code);
  const std::string_view message = raw != nullptr ? raw : "unknown error";
  if (message.substr(0, sizeof kErrorPrefix - 1) == kErrorPrefix) {
    const std::string rest(message.substr(sizeof kErrorPrefix - 1));
    char* end = nullptr;
    const long number = std::strtol(rest.c_str(), &end, 10);
    if (end != nullptr && *end == ':') {
      return AutomationError(static_cast<Long>(number), FromUtf8(end + 1));
    }
  }
  if (message == "integer overflow") {
    return AutomationError(kErrEngineFailure,
                           u"Overflow: a Sum in the statement is beyond the range of its type "
                           u"(for money, the Currency range).");
  }
  if ((result_code & 0xFF) == SQLITE_NOMEM) {
    return AutomationError(kErrOutOfMemory, StandardDescription(kErrOutOfMemory));
  }
  return AutomationError(kErrEngineFailure,
                         u"Database engine error: " + FromUtf8(message));
}

}  // namespace qorvel::jet::sql
