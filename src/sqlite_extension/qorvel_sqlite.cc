// qorvel_sqlite: a SQLite loadable extension that registers the 24 report
// functions as SQL functions of the same names, so that a report written
// against SQLite prints in the house style:
//
//   .load qorvel_sqlite
//   select FormatPhone('', Phone), CreditAmount('billing.mdb', PeopleID) from Client;
//
// Each SQL function is a late-bound call through qorvel::Invoke: its SQL
// arguments become Variants (INTEGER a Long, or a Double beyond the Long
// range; REAL a Double; TEXT and BLOB a Text) and are converted to the
// parameter types exactly as for any late-bound caller, so a result is
// always the one a late-bound call gives. Results come back as TEXT (Text),
// INTEGER (Long) or REAL (Currency; a double holds every amount below about
// 900 billion to its four decimals). A call never raises an SQL error: an
// error inside a method gives the method's error result, with its message
// box shown where the platform shows boxes (standard error on Linux). A
// NULL argument, or one that cannot be converted to its parameter, gives
// NULL, since the call could not be made. A wrong argument count is refused
// by SQLite when the statement is prepared.
//
// Each connection has one KX object, so a method's box is shown once per
// connection; the lookups use the database connection of the calling
// thread, as every caller of the library does.
#include <sqlite3ext.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "qorvel/dispatch.h"
#include "qorvel/kx.h"

SQLITE_EXTENSION_INIT1

namespace {

// What one registered SQL function calls: the method on the connection's
// object.
struct Binding {
  std::shared_ptr<qorvel::KX> object;
  const qorvel::MethodInfo* method;
};

// The SQL value as a late-bound caller's argument. Precondition: `value` is
// not NULL.
qorvel::Variant ArgumentOf(sqlite3_value* value) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: {
      const sqlite3_int64 n = sqlite3_value_int64(value);
      if (n >= std::numeric_limits<qorvel::Long>::min() &&
          n <= std::numeric_limits<qorvel::Long>::max()) {
        return qorvel::Variant::FromLong(static_cast<qorvel::Long>(n));
      }
      return qorvel::Variant::FromDouble(static_cast<double>(n));
    }
    case SQLITE_FLOAT:
      return qorvel::Variant::FromDouble(sqlite3_value_double(value));
    default: {  // TEXT, and BLOB read as text as SQLite's own functions do
      const void* text = sqlite3_value_text16(value);
      const auto units = static_cast<std::size_t>(sqlite3_value_bytes16(value)) / 2;
      if (text == nullptr) return qorvel::Variant::FromText({});
      return qorvel::Variant::FromText(qorvel::Text(static_cast<const char16_t*>(text), units));
    }
  }
}

void SetResult(sqlite3_context* context, const qorvel::Variant& result) {
  switch (result.type()) {
    case qorvel::VarType::kText: {
      const qorvel::Text& text = result.AsText();
      sqlite3_result_text64(context, reinterpret_cast<const char*>(text.data()),
                            static_cast<sqlite3_uint64>(text.size()) * 2, SQLITE_TRANSIENT,
                            SQLITE_UTF16);
      return;
    }
    case qorvel::VarType::kLong:
      sqlite3_result_int64(context, result.AsLong());
      return;
    case qorvel::VarType::kCurrency:
      sqlite3_result_double(context, result.AsCurrency().ToDouble());
      return;
    default:
      sqlite3_result_null(context);
      return;
  }
}

void CallMethod(sqlite3_context* context, int argc, sqlite3_value** argv) {
  const auto* binding = static_cast<const Binding*>(sqlite3_user_data(context));
  try {
    std::vector<qorvel::Variant> args;
    args.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) {
      if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
      }
      args.push_back(ArgumentOf(argv[i]));
    }
    const qorvel::InvokeResult result =
        qorvel::Invoke(*binding->object, binding->method->dispid, args);
    if (result.error == qorvel::DispatchError::kOutOfMemory) {
      sqlite3_result_error_nomem(context);
    } else if (!result.ok()) {
      sqlite3_result_null(context);
    } else {
      SetResult(context, result.value);
    }
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(context);
  }
}

void DeleteBinding(void* binding) { delete static_cast<Binding*>(binding); }

}  // namespace

// SQLite's entry point for a module named qorvel_sqlite.so: registers the
// 24 functions on `db`. Returns SQLITE_OK, or an error code with
// `*error_message` set (allocated with sqlite3_mprintf, as SQLite frees it).
extern "C" int sqlite3_qorvelsqlite_init(sqlite3* db, char** error_message,
                                         const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  try {
    const auto object = std::make_shared<qorvel::KX>();
    for (const qorvel::MethodInfo& method : qorvel::Methods()) {
      const std::string name = qorvel::ToUtf8(method.name);
      // SQLite owns the binding from here: it deletes it when the function
      // is replaced or the connection closes, and at once if this fails.
      const int rc = sqlite3_create_function_v2(
          db, name.c_str(), static_cast<int>(method.params.size()), SQLITE_UTF16,
          new Binding{object, &method}, CallMethod, nullptr, nullptr, DeleteBinding);
      if (rc != SQLITE_OK) {
        if (error_message != nullptr) {
          *error_message = sqlite3_mprintf("qorvel_sqlite: cannot register %s", name.c_str());
        }
        return rc;
      }
    }
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  }
  return SQLITE_OK;
}

// The name SQLite tries when the module is loaded under another file name.
extern "C" int sqlite3_extension_init(sqlite3* db, char** error_message,
                                      const sqlite3_api_routines* api) {
  return sqlite3_qorvelsqlite_init(db, error_message, api);
}
