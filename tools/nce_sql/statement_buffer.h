// Collects the lines a person types until they make whole statements: the
// text is complete when its last character outside quotes and comments is
// the ";" that ends a statement (for CREATE TRIGGER, the one after END).
#ifndef TOOLS_NCE_SQL_STATEMENT_BUFFER_H
#define TOOLS_NCE_SQL_STATEMENT_BUFFER_H

#include <string>

namespace nce_sql {

class StatementBuffer {
 public:
  void AddLine(const std::string& line);
  // Nothing but white space collected.
  bool Empty() const;
  // The collected text ends a statement.
  bool Complete() const;
  // Hands the collected text over and starts afresh.
  std::string Take();

 private:
  std::string text_;  // lines so far, each with its line feed
};

// True when `text` ends, outside quotes ('...', "...", `...`, [...]) and
// comments (-- to the line end, /* ... */), with a ";" that ends a
// statement.
bool EndsStatement(const std::string& text);

}  // namespace nce_sql

#endif  // TOOLS_NCE_SQL_STATEMENT_BUFFER_H
