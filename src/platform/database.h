// The database operations the lookups use, under the names of the data
// access objects the component was written against: a Connection that is
// opened with a provider and a connection string, and a static read-only
// Recordset opened on it. Each platform provides them (on Linux through our
// own engine, see jet/).
//
// Every failing operation raises an AutomationError with a number and a
// description that says what is wrong.
#ifndef QORVEL_PLATFORM_DATABASE_H_
#define QORVEL_PLATFORM_DATABASE_H_

#include "qorvel/types.h"
#include "qorvel/variant.h"

namespace qorvel::platform {

inline constexpr Long kStateClosed = 0;
inline constexpr Long kStateOpen = 1;

class Connection {
 public:
  virtual ~Connection() = default;

  // 0 closed, 1 open (other values are combined states, never "open").
  virtual Long State() const = 0;
  // Selects the provider for the next Open.
  virtual void SetProvider(const Text& provider) = 0;
  // Opens synchronously. An open connection is closed first.
  virtual void Open(const Text& connection_string, const Text& user_id, const Text& password,
                    Long options) = 0;
  virtual void Close() = 0;
};

class Recordset {
 public:
  virtual ~Recordset() = default;

  // Runs `source` on `active_connection` (which must come from the same
  // platform and be open). cursor_type 3 static, lock_type 1 read-only,
  // options -1 unspecified. Positions on the first row if there is one.
  virtual void Open(const Text& source, Connection& active_connection, Long cursor_type,
                    Long lock_type, Long options) = 0;
  // True when there is no current row.
  virtual bool Eof() const = 0;
  // Fields.Item(index).Value of the current row; index from 0 in the order
  // of the select list. Raises when there is no current row or no such
  // column.
  virtual Variant Field(Integer index) const = 0;
  virtual void MoveNext() = 0;
  virtual void Close() = 0;
};

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_DATABASE_H_
