// One nce-sql connection to a database and the statement it runs SQL
// through. Statements print their result sets as tables and their changed
// row counts; failures print the engine's text.
#ifndef TOOLS_NCE_SQL_SESSION_H
#define TOOLS_NCE_SQL_SESSION_H

#include <memory>
#include <ostream>
#include <string>

#include "nds/nce.h"
#include "tools/nce_sql/cursor_printer.h"

namespace nce_sql {

class Session {
 public:
  // Connects to `path` (a directory or a data dictionary) as `user` (none
  // when empty). On a refusal prints the engine's text, with a hint when a
  // data dictionary wants a login, to `err` and answers null.
  static std::unique_ptr<Session> Connect(const std::string& path, const std::string& user,
                                          const std::string& password, std::ostream& err);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  NDSHANDLE connection() const { return connection_; }
  // How result sets print (.mode).
  OutputMode mode() const { return mode_; }
  void set_mode(OutputMode mode) { mode_ = mode; }

  // Runs the statements of `text` in order, results to `out`, failures to
  // `err`; stops at the first failure and answers false.
  bool RunStatements(const std::string& text, std::ostream& out, std::ostream& err);

 private:
  Session(NDSHANDLE connection, NDSHANDLE statement)
      : connection_(connection), statement_(statement) {}
  bool RunOne(const std::string& sql, std::ostream& out, std::ostream& err);

  NDSHANDLE connection_;                  // open engine connection, owned
  NDSHANDLE statement_;                   // statement every SQL text runs through, owned
  OutputMode mode_ = OutputMode::kTable;  // how result sets print
};

}  // namespace nce_sql

#endif  // TOOLS_NCE_SQL_SESSION_H
