// Splitting an SQL script into its statements exactly as the engine does when
// it runs a text of several statements. The engine's own tools (the SQL
// shell) use it to run a script one statement at a time; they link the
// engine's internal library, as libnce.so exports only the C interface.
#ifndef NCE_SCRIPT_H
#define NCE_SCRIPT_H

#include <string_view>
#include <vector>

namespace nce {

// Splits `script` at the semicolons that end its statements. A last
// statement without a semicolon is accepted; pieces holding only white space
// and comments are dropped; semicolons inside a CREATE TRIGGER body do not
// end the statement. Each piece is returned without its semicolon and without
// surrounding white space.
std::vector<std::string_view> SplitScript(std::string_view script);

}  // namespace nce

#endif  // NCE_SCRIPT_H
