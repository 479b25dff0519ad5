// The SQL parameter parser: finds the ":name" parameters of SQL text.
//
// A parameter is a colon followed by a name, outside quoted text. Quoted
// text starts and ends at an apostrophe, a double quotation mark or a
// backquote; any of the three toggles the quoted state. Two colons in a row
// are not a parameter (they stand for one colon). The name runs from the
// character after the colon up to, not including, the first space, carriage
// return, line feed, comma, semicolon or closing parenthesis outside quotes,
// or the end of the text (a zero byte ends the text); a tab does not end a
// name, and quote characters inside a name toggle the quoted state. A name
// written in quotes directly after the colon has its first and last quote
// characters removed. Every occurrence is its own parameter, in order.
#ifndef DATASET_PARAM_PARSER_H
#define DATASET_PARAM_PARSER_H

#include <string>
#include <vector>

namespace dataset {

// Returns the text rewritten with every parameter replaced by "?" and every
// "::" by ":"; appends the names of the parameters, in order, to `names`
// when it is given.
std::string ParseSQLParams(const std::string& sql, std::vector<std::string>* names);

}  // namespace dataset

#endif  // DATASET_PARAM_PARSER_H
