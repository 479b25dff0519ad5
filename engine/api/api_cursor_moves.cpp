// Engine functions that move a cursor, report its place and count its rows,
// bookmarks included. A bookmark is the record number of its record. The
// moving functions take a cursor handle (record-number order) or an index
// order's handle (that order, with its scopes).
#include <cstring>

#include "engine/api/api_cursor_support.h"
#include "engine/api/api_index_support.h"

using namespace nce;

namespace {

int64_t ReadBookmark(const void* bookmark) {
  uint32_t word;
  std::memcpy(&word, bookmark, sizeof word);
  return word;
}

}  // namespace

void nce::WriteBookmark(const Cursor& cursor, void* bookmark, uint32_t* length) {
  RequireArgument(bookmark, "bookmark");
  uint32_t& room = OutArg(length, "length");
  cursor.walk.CurrentImage();  // throws off a record
  if (room < sizeof(uint32_t)) {
    room = sizeof(uint32_t);
    throw EngineError(NDS_E_INSUFFICIENT_BUFFER, "A bookmark takes 4 bytes.");
  }
  uint32_t word = static_cast<uint32_t>(cursor.walk.record_number());
  std::memcpy(bookmark, &word, sizeof word);
  room = sizeof word;
}

extern "C" {

NDSRESULT NdsGotoTop(NDSHANDLE handle) {
  return WithNavigation("NdsGotoTop", handle, [&](Cursor& c) {
    c.walk.GotoTop();
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGotoBottom(NDSHANDLE handle) {
  return WithNavigation("NdsGotoBottom", handle, [&](Cursor& c) {
    c.walk.GotoBottom();
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGotoBOF(NDSHANDLE handle) {
  return WithCursor("NdsGotoBOF", handle, [&](Cursor& c) {
    c.walk.GotoBof();
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGotoRecord(NDSHANDLE handle, uint32_t recordNumber) {
  return WithCursor("NdsGotoRecord", handle, [&](Cursor& c) {
    c.walk.GotoRecord(recordNumber);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsSkip(NDSHANDLE handle, int32_t records) {
  return WithNavigation("NdsSkip", handle, [&](Cursor& c) {
    c.walk.Skip(records);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsAtEOF(NDSHANDLE handle, uint16_t* atEnd) {
  return WithCursor("NdsAtEOF", handle, [&](Cursor& c) {
    OutArg(atEnd, "end flag") = c.walk.at_eof() ? 1 : 0;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsAtBOF(NDSHANDLE handle, uint16_t* atBeginning) {
  return WithCursor("NdsAtBOF", handle, [&](Cursor& c) {
    OutArg(atBeginning, "beginning flag") = c.walk.at_bof() ? 1 : 0;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsIsRecordVisible(NDSHANDLE handle, uint16_t* visible) {
  return WithNavigation("NdsIsRecordVisible", handle, [&](Cursor& c) {
    uint16_t& out = OutArg(visible, "visible flag");
    out = c.walk.IsVisible() ? 1 : 0;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetKeyNum(NDSHANDLE handle, uint16_t filterOption, uint32_t* keyNumber) {
  return WithNavigation("NdsGetKeyNum", handle, [&](Cursor& c) {
    OutArg(keyNumber, "key number") = static_cast<uint32_t>(c.walk.KeyNumber(filterOption));
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetRelKeyPos(NDSHANDLE handle, double* position) {
  return WithNavigation("NdsGetRelKeyPos", handle, [&](Cursor& c) {
    OutArg(position, "position") = c.walk.RelativePosition();
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsSetRelKeyPos(NDSHANDLE handle, double position) {
  return WithNavigation("NdsSetRelKeyPos", handle, [&](Cursor& c) {
    c.walk.SetRelativePosition(position);
    return NDS_SUCCESS;
  });
}

// ---- bookmarks ------------------------------------------------------------------------

NDSRESULT NdsGetBookmarkLength(NDSHANDLE handle, uint32_t* length) {
  return WithCursor("NdsGetBookmarkLength", handle, [&](Cursor&) {
    OutArg(length, "length") = sizeof(uint32_t);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetBookmark(NDSHANDLE handle, NDSHANDLE* bookmark) {
  return WithCursor("NdsGetBookmark", handle, [&](Cursor& c) {
    RequireArgument(bookmark, "bookmark");
    c.walk.CurrentImage();  // throws off a record
    *bookmark = static_cast<NDSHANDLE>(c.walk.record_number());
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetBookmark60(NDSHANDLE handle, void* bookmark, uint32_t* length) {
  return WithCursor("NdsGetBookmark60", handle, [&](Cursor& c) {
    WriteBookmark(c, bookmark, length);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGotoBookmark(NDSHANDLE handle, NDSHANDLE bookmark) {
  return WithCursor("NdsGotoBookmark", handle, [&](Cursor& c) {
    if (bookmark == 0) throw EngineError(NDS_E_INVALID_RECORD, "Bookmark 0 names no record.");
    c.walk.GotoRecord(bookmark);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsCompareBookmarks(const void* bookmark1, const void* bookmark2, int32_t* result) {
  return Guarded("NdsCompareBookmarks", [&] {
    RequireArgument(bookmark1, "first bookmark");
    RequireArgument(bookmark2, "second bookmark");
    int64_t a = ReadBookmark(bookmark1), b = ReadBookmark(bookmark2);
    OutArg(result, "result") = a < b ? -1 : (a > b ? 1 : 0);
    return NDS_SUCCESS;
  });
}

// ---- editing and locks ----------------------------------------------------------------

NDSRESULT NdsAppendRecord(NDSHANDLE handle) {
  return WithCursor("NdsAppendRecord", handle, [&](Cursor& c) {
    c.writer.Append();
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsWriteRecord(NDSHANDLE handle) {
  return WithCursor("NdsWriteRecord", handle, [&](Cursor& c) {
    c.writer.Write();
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsCancelUpdate(NDSHANDLE handle) {
  return WithCursor("NdsCancelUpdate", handle, [&](Cursor& c) {
    if (!c.writer.Cancel())
      throw EngineError(NDS_E_NOT_EDITING, "The current record has no changes to cancel.");
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsDeleteRecord(NDSHANDLE handle) {
  return WithCursor("NdsDeleteRecord", handle, [&](Cursor& c) {
    c.writer.Delete();
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsLockRecord(NDSHANDLE handle, uint32_t recordNumber) {
  return WithCursor("NdsLockRecord", handle, [&](Cursor& c) {
    c.writer.Lock(recordNumber);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsUnlockRecord(NDSHANDLE handle, uint32_t recordNumber) {
  return WithCursor("NdsUnlockRecord", handle, [&](Cursor& c) {
    c.writer.Unlock(recordNumber);
    return NDS_SUCCESS;
  });
}

}  // extern "C"
