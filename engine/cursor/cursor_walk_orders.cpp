// The cursor walk's hooks for index orders, scopes and filters: rebuilding
// its statements in place, and positioning from a statement of the caller's
// (seeks).
#include "engine/base/errors.h"
#include "engine/base/sql_error.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/cursor_walk.h"

namespace nce {

void CursorWalk::Reattach(Cursor& c) {
  FlushEdits(c);
  bool had = on_record_ && !gone_;
  int64_t rowid = current_.rowid;
  bool bof = bof_, eof = eof_;
  Attach(c);
  if (!had) {
    SetOff(bof, eof);
    return;
  }
  try {
    ReadCurrentByRowid(c, rowid);
  } catch (const EngineError& error) {
    if (error.number() != NDS_E_INVALID_RECORD) throw;
  }
}

const NavigationSql& CursorWalk::Navigation(Cursor& c) {
  if (!sql_) Attach(c);
  return *sql_;
}

bool CursorWalk::PositionFromStatement(Cursor& c, sqlite3_stmt* stmt) {
  FlushEdits(c);
  ahead_len_ = ahead_pos_ = 0;
  ahead_dir_ = 0;
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) {
    ReadRow(c, stmt, &current_);
    current_.visible_known = true;
    sqlite3_reset(stmt);
    on_record_ = true;
    gone_ = false;
    bof_ = eof_ = false;
    return true;
  }
  sqlite3_reset(stmt);
  if (rc != SQLITE_DONE) throw SqlError(sqlite3_db_handle(stmt), rc);
  SetOff(false, true);
  return false;
}

}  // namespace nce
