// The engine's errors raised by the dialect code.
#include "jet/sql/errors.h"

#include "jet/sql/translator.h"
#include "qorvel/automation_error.h"

namespace qorvel::jet::sql {

void Fail(long number, Text description) {
  throw AutomationError(static_cast<Long>(number), std::move(description));
}

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
  Fail(kErrSyntax, std::move(description));
}

Text DecimalText(long long value) {
  const std::string digits = std::to_string(value);
  return Text(digits.begin(), digits.end());
}

}  // namespace qorvel::jet::sql
