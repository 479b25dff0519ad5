// The cursor walk's hooks for index orders, scopes and filters: rebuilding
// its statements in place, and positioning from a statement of the caller's
// (seeks).
#include "engine/base/errors.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/cursor_walk.h"

namespace nce {

void CursorWalk::Reattach(Cursor& c, bool repositions) {
  FlushEdits(c);
  Place place;
  place.had = on_record_ && !gone_;
  place.rowid = current_.rowid;
  place.bof = bof_;
  place.eof = eof_;
  Attach(c);
  if (repositions) {
    deferred_ = place;
    deferred_.pending = true;
    return;
  }
  ReturnTo(c, place);
}

void CursorWalk::RestorePlace(Cursor& c) {
  if (!deferred_.pending) return;
  Place place = deferred_;
  deferred_ = Place();
  ReturnTo(c, place);
}

void CursorWalk::ReturnTo(Cursor& c, const Place& place) {
  if (!place.had) {
    SetOff(place.bof, place.eof);
    return;
  }
  // One statement reads the record in the new order and says whether the
  // cursor shows it, which the next move or read asks at once.
  if (ReadCurrentRow(c, Step::kVisibleRow, place.rowid, true)) return;
  // Hidden now, or gone: the cursor stays on a hidden record; a gone one
  // leaves it before the first row.
  try {
    ReadCurrentByRowid(c, place.rowid);
  } catch (const EngineError& error) {
    if (error.number() != NDS_E_INVALID_RECORD) throw;
  }
}

const NavigationSql& CursorWalk::Navigation(Cursor& c) {
  if (!statements_.has_shape()) Attach(c);
  return statements_.sql();
}

bool CursorWalk::PositionFromStatement(Cursor& c, WalkStatement& stmt) {
  FlushEdits(c);
  window_.Drop();
  bool found = stmt.Step();  // a failure resets the statement and throws
  if (found) {
    current_read_rowid_ = 0;
    try {
      ReadRow(c, stmt, &current_);
    } catch (...) {
      stmt.Reset();
      throw;
    }
    current_.visible_known = true;
  }
  stmt.Reset();
  deferred_ = Place();
  if (!found) {
    SetOff(false, true);
    return false;
  }
  on_record_ = true;
  gone_ = false;
  bof_ = eof_ = false;
  return true;
}

}  // namespace nce
