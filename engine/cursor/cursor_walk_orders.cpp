// The cursor walk's hooks for index orders, scopes and filters: rebuilding
// its statements in place, and positioning from a statement of the caller's
// (seeks).
#include "engine/base/errors.h"
#include "engine/cursor/cursor.h"
#include "engine/cursor/cursor_walk.h"

namespace nce {

void CursorWalk::Reattach(bool repositions) {
  FlushEdits();
  Place place;
  place.had = on_record_ && !gone_;
  place.rowid = current_.rowid;
  place.bof = bof_;
  place.eof = eof_;
  // A switch from an order to record-number order that changes neither the
  // rows the cursor shows nor the columns it reads keeps the row it holds
  // (a seek's, or a window's): only its order key goes, which record-number
  // order has none of.
  bool keeps_row = false;
  if (place.had && current_.visible_known && statements_.has_shape()) {
    const WalkSpec before = statements_.sql().shape();
    Attach();
    const WalkSpec& after = statements_.sql().shape();
    keeps_row = !before.key.empty() && after.key.empty() && before.columns == after.columns &&
                before.condition == after.condition;
  } else {
    Attach();
  }
  if (keeps_row && !repositions) {
    current_.key = Value();
    on_record_ = true;
    bof_ = eof_ = false;
    return;
  }
  if (repositions) {
    deferred_ = place;
    deferred_.pending = true;
    return;
  }
  ReturnTo(place);
}

void CursorWalk::RestorePlace() {
  if (!deferred_.pending) return;
  Place place = deferred_;
  deferred_ = Place();
  ReturnTo(place);
}

void CursorWalk::ReturnTo(const Place& place) {
  if (!place.had) {
    SetOff(place.bof, place.eof);
    return;
  }
  // One statement reads the record in the new order and says whether the
  // cursor shows it, which the next move or read asks at once.
  if (ReadCurrentRow(Step::kVisibleRow, place.rowid, true)) return;
  // Hidden now, or gone: the cursor stays on a hidden record; a gone one
  // leaves it before the first row.
  try {
    ReadCurrent(place.rowid);
  } catch (const EngineError& error) {
    if (error.number() != NDS_E_INVALID_RECORD) throw;
  }
}

const NavigationSql& CursorWalk::Navigation() {
  if (!statements_.has_shape()) Attach();
  return statements_.sql();
}

bool CursorWalk::PositionFromStatement(WalkStatement& stmt) {
  FlushEdits();
  window_.Drop();
  bool found = stmt.Step();  // a failure resets the statement and throws
  if (found) {
    current_read_rowid_ = 0;
    try {
      ReadRow(stmt, &current_);
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
