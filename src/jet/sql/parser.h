// The recursive-descent parser of the dialect: tokens to the tree of
// ast.h, names as written, nothing resolved yet.
//
// The grammar, keywords in any case:
//   statement := Select item {, item} From table
//                [Inner Join table On column = column]
//                [Where condition {And condition}]
//                [Order By column [Desc] {, column [Desc]}]
//   item      := (Max (value) | Sum (value) | Count (*) | value) [As name]
//   value     := column | DateValue (operand) | DateDiff ('d', operand, operand) | Now ()
//   operand   := value | 'text' | number | #date#
//   condition := operand (= | < | <= | > | >=) operand | operand Is Not Null
//   column    := name [. name]
//   name      := identifier that is not a reserved word | [bracketed]
// Anything else is a syntax error, so a statement is never half understood.
#ifndef QORVEL_JET_SQL_PARSER_H_
#define QORVEL_JET_SQL_PARSER_H_

#include <string_view>
#include <vector>

#include "jet/sql/ast.h"
#include "jet/sql/lexer.h"

namespace qorvel::jet::sql {

// Parses the tokens of `statement` (from Tokenize, ending in kEnd). Raises
// AutomationError (kErrSyntax) naming the place of the first error.
SelectStatement Parse(std::u16string_view statement, const std::vector<Token>& tokens);

}  // namespace qorvel::jet::sql

#endif  // QORVEL_JET_SQL_PARSER_H_
