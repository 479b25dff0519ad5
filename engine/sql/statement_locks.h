// SQL writes honour other users' record locks and exclusive opens, as cursor
// edits do. Before a statement that writes a table runs, the engine asks
// once whether anyone else (another connection or process) holds locks on
// that table. Nobody: the statement runs as it is. An exclusive open: the
// statement is refused. Locked records: temporary triggers of this
// connection refuse any update or delete of exactly those records, so the
// statement fails with the lock-conflict error and changes nothing, while
// statements over other records pass.
#ifndef ENGINE_SQL_STATEMENT_LOCKS_H
#define ENGINE_SQL_STATEMENT_LOCKS_H

#include <string>
#include <string_view>

#include "engine/storage/connection.h"

namespace nce {

// A statement without the common table expressions that lead into it.
struct MainStatement {
  std::string_view sql;  // from its keyword on; empty when none is found
  std::string keyword;   // INSERT, REPLACE, UPDATE, DELETE, SELECT or VALUES
};
// For a statement opening with WITH (`keyword`, upper-cased), the statement
// its common table expressions lead into; any other statement as it is.
MainStatement AfterCommonTables(std::string_view sql, const std::string& keyword);

// The table an INSERT, REPLACE, UPDATE or DELETE statement writes (also
// after WITH ...), as written (without a "main." prefix); empty when none
// is found. `keyword` is the statement's leading keyword, upper-cased.
std::string WriteTarget(std::string_view sql, const std::string& keyword);

// True for REPLACE and INSERT OR REPLACE (also after WITH ...), which may
// replace existing rows.
bool ReplacesRows(std::string_view sql, const std::string& keyword);

// Holds the temporary triggers that fence off other users' locked records
// for the run of one statement; they go when the fence does.
class LockFence {
 public:
  // Throws NDS_E_LOCK_FAILED when `table` is opened exclusively by another
  // connection or process; fences off its locked records otherwise.
  // With `replaces`, inserts that would replace a locked record are
  // refused too.
  LockFence(Connection& connection, const std::string& table, bool replaces);
  ~LockFence();
  LockFence(const LockFence&) = delete;
  LockFence& operator=(const LockFence&) = delete;

 private:
  void Remove();

  StoreSession& session_;  // the connection's session, where the triggers live
  bool fenced_ = false;    // the temporary triggers exist
};

}  // namespace nce

#endif  // ENGINE_SQL_STATEMENT_LOCKS_H
