// The syntax errors of the dialect code.
#include "jet/sql/errors.h"

#include "base/text_ops.h"
#include "jet/errors.h"

namespace qorvel::jet::sql {

void FailSyntax(std::u16string_view statement, std::size_t offset, std::u16string_view what) {
  // Quote a short stretch of the statement from the offending character on,
  // enough to find it in a long statement.
  constexpr std::size_t kQuoted = 24;
  Text description = u"Syntax error in the statement at character ";
  description += DecimalText(static_cast<long long>(offset) + 1);
  if (offset < statement.size()) {
    description += u" near '";
    const std::u16string_view near = statement.substr(offset, kQuoted);
    description += near;
    if (offset + near.size() < statement.size()) description += u"...";
    description += u"'";
  } else {
    description += u" (end of the statement)";
  }
  description += u": ";
  description += what;
  Raise(kErrSyntax, description);
}

}  // namespace qorvel::jet::sql
