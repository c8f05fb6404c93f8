// The statements the lookups send, as the lookups themselves build them
// (each method called with example arguments on a recording environment),
// and the result columns each must give. The exact texts are checked once,
// in the lookups' own tests; here they feed the dialect's tests, so the two
// cannot drift apart.
#ifndef QORVEL_TESTS_JET_SQL_LOOKUP_STATEMENTS_H_
#define QORVEL_TESTS_JET_SQL_LOOKUP_STATEMENTS_H_

#include <string_view>
#include <vector>

#include "jet/catalog.h"
#include "qorvel/types.h"

namespace qorvel::sql_test {

struct ExpectedColumn {
  std::u16string_view name;
  jet::JetType type;
};

struct LookupStatement {
  const char* method;  // the lookup, and which of its forms
  Text text;           // the statement it sent
  std::vector<ExpectedColumn> columns;
};

// Every lookup's statement, in method order, with two more forms of the
// activity totals (no conditions; the person only). Built on first use, in
// the en-US locale.
const std::vector<LookupStatement>& LookupStatements();

}  // namespace qorvel::sql_test

#endif  // QORVEL_TESTS_JET_SQL_LOOKUP_STATEMENTS_H_
