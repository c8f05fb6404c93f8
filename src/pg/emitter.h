// The PostgreSQL SQL of a statement of the lookups' dialect, written from
// the tree that the dialect's parser and resolver made against a
// ServerCatalog (the second emitter beside the SQLite translator).
//
// Tables are named t0 (From) and t1 (joined), every column qualified and
// every name quoted as the catalog spells it. Literals are parameters $1,
// $2, ... in statement order, cast to the type of their kind (text, int8
// for a whole number, float8 otherwise, timestamp for a #date#); Now() is
// one more parameter after them, the connection's clock. The Jet semantics
// come along:
//   - text comparisons ignore case: upper(a) = upper(b), which an index on
//     upper(column) serves; < <= > >=, Order By and Max order the folded
//     texts by code point (COLLATE "C");
//   - a GUID compared with text is its "{8-4-4-4-12}" upper-case text, a
//     Binary value its upper-case hexadecimal digits;
//   - Yes/No is -1/0 wherever it is read;
//   - money compared with a number with a fraction compares with that
//     number rounded to four decimals; a date compared with a number is its
//     automation date;
//   - DateValue is the calendar date, DateDiff('d', a, b) the calendar days
//     from a to b;
//   - Sum of money is the exact numeric sum, Sum over no rows Null;
//   - Nulls come first in ascending order and last in descending order.
#ifndef QORVEL_PG_EMITTER_H_
#define QORVEL_PG_EMITTER_H_

#include <string>
#include <vector>

#include "jet/sql/ast.h"
#include "jet/sql/translator.h"
#include "qorvel/variant.h"

namespace qorvel::pg {

struct Emitted {
  std::string sql;  // UTF-8
  std::vector<jet::sql::ResultColumn> columns;
  int now_parameter = 0;  // the parameter number of Now(), 0 when it has none
};

// The SQL of `statement`, resolved against a ServerCatalog, whose literals
// are `literals` (Text, Long, Double or Date, in parameter order).
// Raises AutomationError (kErrEngineFailure) for a literal of another type.
Emitted Emit(const jet::sql::SelectStatement& statement, const std::vector<Variant>& literals);

}  // namespace qorvel::pg

#endif  // QORVEL_PG_EMITTER_H_
