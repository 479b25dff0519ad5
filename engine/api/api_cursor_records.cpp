// Engine functions that open table cursors and read their records: record
// images, field values in text form, blob contents, checksums, the deleted
// setting and the read-ahead window.
#include <cstring>

#include "engine/api/api_cursor_support.h"
#include "engine/api/api_index_support.h"
#include "engine/base/oem_text.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/record/record_image.h"
#include "engine/storage/record_locks.h"
#include "engine/storage/store_catalog.h"

using namespace nce;

namespace {

bool IsNdt(const Cursor& c) {
  return c.desc.table_type == NDS_NDT;
}

// String fields: the ones an OEM cursor shows in the OEM form.
bool IsStringType(uint16_t type) {
  return type == NDS_STRING || type == NDS_CISTRING;
}

// Writes the cursor's empty record (every field in its null form).
void FillEmptyRecord(const Cursor& cursor, void* record, uint32_t length) {
  RequireArgument(record, "record buffer");
  if (length < cursor.desc.record_length)
    throw EngineError(NDS_E_INSUFFICIENT_BUFFER, "The buffer of " + std::to_string(length) +
                                                     " bytes cannot hold a record of " +
                                                     std::to_string(cursor.desc.record_length) +
                                                     " bytes.");
  auto* image = static_cast<uint8_t*>(record);
  image[0] = ' ';
  for (const FieldDesc& f : cursor.desc.fields) EncodeNull(f, IsNdt(cursor), image);
}

// Copies the current record image into the caller's buffer of *length
// bytes, string fields in the OEM form for an OEM cursor, and writes the image's length
// back; a buffer too small gets what fits and NDS_E_INSUFFICIENT_BUFFER.
void CopyRecordImage(const Cursor& c, void* record, uint32_t* length) {
  RequireArgument(record, "record buffer");
  RequireArgument(length, "length");
  const std::vector<uint8_t>& image = c.walk.CurrentImage();
  uint32_t room = *length;
  *length = static_cast<uint32_t>(image.size());
  std::memcpy(record, image.data(), std::min<size_t>(room, image.size()));
  if (TextsInOemForm(c)) {
    // The image carries texts as a DOS program reads them (oem_text.h).
    auto* bytes = static_cast<uint8_t*>(record);
    for (const FieldDesc& f : c.desc.fields) {
      if (!IsStringType(f.shape.type) || f.offset >= room) continue;
      StoredToOemInPlace(bytes + f.offset, std::min(f.shape.length, room - f.offset));
    }
  }
  if (room < image.size())
    throw EngineError(NDS_E_INSUFFICIENT_BUFFER, "The buffer of " + std::to_string(room) +
                                                     " bytes cannot hold a record of " +
                                                     std::to_string(image.size()) + " bytes.");
}

// Table `name` as a table cursor shows it, when the connection's database
// holds it; nullopt otherwise.
std::optional<TableDesc> DescribeOpenableTable(Connection& connection, const std::string& name) {
  if (IsReservedName(name)) return std::nullopt;
  if (!StoreTableExists(connection, name)) return std::nullopt;
  return DescribeTableToOpen(connection, name);
}

}  // namespace

extern "C" {

// ---- opening ------------------------------------------------------------------------

NDSRESULT NdsOpenTable(NDSHANDLE connectionHandle, const char* tableName, uint16_t tableType,
                       uint16_t charType, uint32_t options, NDSHANDLE* cursorHandle) {
  return Guarded("NdsOpenTable", [&] {
    RequireArgument(tableName, "table name");
    RequireArgument(cursorHandle, "cursor handle");
    if (options & ~(NDS_OPEN_EXCLUSIVE | NDS_OPEN_READONLY))
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown open options " + std::to_string(options) + ".");
    if (charType != 0 && charType != NDS_ANSI && charType != NDS_OEM)
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown character type " + std::to_string(charType) + ".");
    std::shared_ptr<Connection> connection = RequireConnection(connectionHandle);
    RecursiveLockGuard lock(connection->mutex());
    std::string name = tableName;
    std::optional<TableDesc> desc = DescribeOpenableTable(*connection, name);
    if (!desc) throw EngineError(NDS_E_INVALID_TABLE, "The table " + name + " does not exist.");
    if (tableType != 0 && tableType != desc->table_type)
      throw EngineError(NDS_E_INVALID_OPTION, "The table " + desc->name + " is of table type " +
                                                  std::to_string(desc->table_type) + ", not " +
                                                  std::to_string(tableType) + ".");
    auto cursor = std::make_shared<Cursor>(connection, ObjectKind::kTable);
    cursor->desc = std::move(*desc);
    if (charType) cursor->desc.char_type = charType;
    cursor->set_rows_in_store();
    cursor->source_table = cursor->desc.name;
    cursor->live = true;
    cursor->open_options = options;
    if (!(options & NDS_OPEN_READONLY))
      cursor->open_options |= NDS_OPEN_UPDATE_RIGHT | NDS_OPEN_INSERT_RIGHT;
    cursor->open_options &= RightsOpenMask(*connection, cursor->desc.name);
    NDSHANDLE handle = HandleTable::Instance().Add(cursor);
    try {
      cursor->writer.HoldTable(options & NDS_OPEN_EXCLUSIVE);
      cursor->walk.Attach();
      connection->AddChild(handle);
    } catch (...) {
      HandleTable::Instance().Remove(handle);
      throw;
    }
    *cursorHandle = handle;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsSetTextCharType(NDSHANDLE handle, uint16_t charType) {
  return WithCursor("NdsSetTextCharType", handle, [&](Cursor& c) {
    if (charType != NDS_ANSI && charType != NDS_OEM)
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown character type " + std::to_string(charType) + ".");
    c.text_char_type = charType;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsCacheRecords(NDSHANDLE handle, uint16_t records) {
  return WithCursor("NdsCacheRecords", handle, [&](Cursor& c) {
    c.walk.SetCacheSize(records);
    return NDS_SUCCESS;
  });
}

// The engine keeps no pool of closed tables or cursors: the settings are
// accepted and there is nothing to close.
NDSRESULT NdsCacheOpenTables(uint16_t) {
  return Guarded("NdsCacheOpenTables", [] { return NDS_SUCCESS; });
}
NDSRESULT NdsCacheOpenCursors(uint16_t) {
  return Guarded("NdsCacheOpenCursors", [] { return NDS_SUCCESS; });
}
NDSRESULT NdsCloseCachedTables(NDSHANDLE connection) {
  return Guarded("NdsCloseCachedTables", [&] {
    RequireConnection(connection);
    return NDS_SUCCESS;
  });
}

// ---- records ------------------------------------------------------------------------

NDSRESULT NdsGetRecord(NDSHANDLE handle, void* record, uint32_t* length) {
  return WithCursor("NdsGetRecord", handle, [&](Cursor& c) {
    CopyRecordImage(c, record, length);
    return NDS_SUCCESS;
  });
}

namespace {

// The current record's image, bookmark and record number (the last two when
// asked for); off a record nothing is written.
void HandOutRecord(Cursor& c, void* record, uint32_t* length, void* bookmark,
                   uint32_t* bookmarkLength, uint32_t* recordNumber) {
  RequireArgument(record, "record buffer");
  RequireArgument(length, "length");
  c.walk.CurrentImage();
  if (bookmark != nullptr || bookmarkLength != nullptr) WriteBookmark(c, bookmark, bookmarkLength);
  if (recordNumber != nullptr) *recordNumber = static_cast<uint32_t>(c.walk.record_number());
  CopyRecordImage(c, record, length);
}

}  // namespace

NDSRESULT NdsGetRecordWithBookmark(NDSHANDLE handle, void* record, uint32_t* length, void* bookmark,
                                   uint32_t* bookmarkLength, uint32_t* recordNumber) {
  return WithCursor("NdsGetRecordWithBookmark", handle, [&](Cursor& c) {
    HandOutRecord(c, record, length, bookmark, bookmarkLength, recordNumber);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetVisibleRecord(NDSHANDLE handle, void* record, uint32_t* length, void* bookmark,
                              uint32_t* bookmarkLength, uint32_t* recordNumber, uint16_t* place) {
  return Guarded("NdsGetVisibleRecord", [&] {
    NavigationTarget target = NavigationOf(handle);
    Cursor& c = *target.cursor;
    RecursiveLockGuard lock(c.connection().mutex());
    c.connection().RequireOpen();
    uint16_t& where = OutArg(place, "place");
    RequireArgument(record, "record buffer");
    RequireArgument(length, "length");
    // The ends as the cursor stands, before the order is switched, as
    // NdsAtEOF and NdsAtBOF on the cursor see them.
    if (c.walk.at_eof()) {
      where = NDS_PLACE_EOF;
      return NDS_SUCCESS;
    }
    if (c.walk.at_bof()) {
      where = NDS_PLACE_BOF;
      return NDS_SUCCESS;
    }
    if (OrdersOf(c).active.get() != target.order)
      UseOrder(c, target.order ? RequireOrder(handle) : nullptr);
    bool visible = false;
    try {
      visible = c.walk.IsVisible();
    } catch (const EngineError& e) {
      if (e.number() != NDS_E_NO_CURRENT_RECORD) throw;
    }
    if (!visible) {
      where = NDS_PLACE_HIDDEN;
      return NDS_SUCCESS;
    }
    HandOutRecord(c, record, length, bookmark, bookmarkLength, recordNumber);
    where = NDS_PLACE_RECORD;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsSkipAndGetRecord(NDSHANDLE handle, int32_t records, void* record, uint32_t* length,
                              void* bookmark, uint32_t* bookmarkLength, uint32_t* recordNumber,
                              uint16_t* atEdge) {
  return WithNavigation("NdsSkipAndGetRecord", handle, [&](Cursor& c) {
    uint16_t& edge = OutArg(atEdge, "edge flag");
    RequireArgument(record, "record buffer");
    RequireArgument(length, "length");
    if (records != 0) c.walk.Skip(records);
    const bool past = records > 0   ? c.walk.at_eof()
                      : records < 0 ? c.walk.at_bof()
                                    : c.walk.at_eof() || c.walk.at_bof();
    edge = past ? 1 : 0;
    if (!past) HandOutRecord(c, record, length, bookmark, bookmarkLength, recordNumber);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsClearRecordBuffer(NDSHANDLE handle, void* record, uint32_t length) {
  return WithCursor("NdsClearRecordBuffer", handle, [&](Cursor& c) {
    FillEmptyRecord(c, record, length);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetNullRecord(NDSHANDLE handle, void* record, uint32_t length) {
  return WithCursor("NdsGetNullRecord", handle, [&](Cursor& c) {
    FillEmptyRecord(c, record, length);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetField(NDSHANDLE handle, NDSFIELD field, void* value, uint32_t* length,
                      uint16_t option) {
  return WithCursor("NdsGetField", handle, [&](Cursor& c) {
    if (option != NDS_NONE && option != NDS_TRIM_RIGHT)
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown field option " + std::to_string(option) + ".");
    size_t index = FieldIndex(c, field);
    const FieldDesc& f = c.desc.fields[index];
    std::string text = IsBlobType(f.shape.type)
                           ? c.writer.BlobPart(index, 0, UINT64_MAX)
                           : FormatText(f, IsNdt(c), c.writer.FieldValue(index));
    if (TextsInOemForm(c) && IsStringType(f.shape.type)) {
      // As the record image shows it, as wide as before.
      size_t width = text.size();
      text = StoredToOem(text);
      text.resize(width, ' ');
    }
    if (option == NDS_TRIM_RIGHT)
      while (!text.empty() && text.back() == ' ') text.pop_back();
    return CopyOut(text, static_cast<char*>(value), length);
  });
}

NDSRESULT NdsIsEmpty(NDSHANDLE handle, NDSFIELD field, uint16_t* empty) {
  return WithCursor("NdsIsEmpty", handle, [&](Cursor& c) {
    size_t index = FieldIndex(c, field);
    uint16_t& out = OutArg(empty, "empty flag");
    if (IsBlobType(c.desc.fields[index].shape.type))
      out = c.writer.BlobLength(index) == 0;
    else
      out = IsNull(c.writer.FieldValue(index));
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetRecordNum(NDSHANDLE handle, uint16_t filterOption, uint32_t* recordNumber) {
  return WithCursor("NdsGetRecordNum", handle, [&](Cursor& c) {
    if (filterOption < NDS_RESPECTFILTERS || filterOption > NDS_RESPECTSCOPES)
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown filter option " + std::to_string(filterOption) + ".");
    OutArg(recordNumber, "record number") = static_cast<uint32_t>(c.walk.record_number());
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetRecordCRC(NDSHANDLE handle, uint32_t* crc, uint32_t option) {
  return WithCursor("NdsGetRecordCRC", handle, [&](Cursor& c) {
    if (option != 0)
      throw EngineError(NDS_E_INVALID_OPTION,
                        "Unknown checksum option " + std::to_string(option) + ".");
    OutArg(crc, "checksum") = c.writer.Checksum();
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsIsRecordDeleted(NDSHANDLE handle, uint16_t* deleted) {
  return WithCursor("NdsIsRecordDeleted", handle, [&](Cursor& c) {
    OutArg(deleted, "deleted flag") = c.walk.IsDeleted() ? 1 : 0;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsShowDeleted(uint16_t showDeleted) {
  return Guarded("NdsShowDeleted", [&] {
    SetShowDeleted(showDeleted != 0);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetDeleted(uint16_t* showDeleted) {
  return Guarded("NdsGetDeleted", [&] {
    OutArg(showDeleted, "show-deleted flag") = ShowDeleted() ? 1 : 0;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsRefreshRecord(NDSHANDLE handle) {
  return WithCursor("NdsRefreshRecord", handle, [&](Cursor& c) {
    c.writer.Refresh();
    return NDS_SUCCESS;
  });
}

// ---- blobs ----------------------------------------------------------------------------

NDSRESULT NdsGetMemoDataType(NDSHANDLE handle, NDSFIELD field, uint16_t* memoType) {
  return WithCursor("NdsGetMemoDataType", handle, [&](Cursor& c) {
    size_t index = FieldIndex(c, field);
    if (!IsBlobType(c.desc.fields[index].shape.type))
      throw EngineError(NDS_E_INVALID_FIELD,
                        "Field " + c.desc.fields[index].name + " is not a memo or blob.");
    OutArg(memoType, "memo type") = c.writer.BlobIsBinary(index) ? NDS_MEMO_BINARY : NDS_MEMO_TEXT;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetMemoLength(NDSHANDLE handle, NDSFIELD field, uint32_t* length) {
  return WithCursor("NdsGetMemoLength", handle, [&](Cursor& c) {
    size_t index = FieldIndex(c, field);
    if (!IsBlobType(c.desc.fields[index].shape.type))
      throw EngineError(NDS_E_INVALID_FIELD,
                        "Field " + c.desc.fields[index].name + " is not a memo or blob.");
    OutArg(length, "length") = static_cast<uint32_t>(c.writer.BlobLength(index));
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetBinaryLength(NDSHANDLE handle, NDSFIELD field, uint32_t* length) {
  return NdsGetMemoLength(handle, field, length);
}

NDSRESULT NdsGetBinary(NDSHANDLE handle, NDSFIELD field, uint32_t offset, void* buffer,
                       uint32_t* length) {
  return WithCursor("NdsGetBinary", handle, [&](Cursor& c) {
    RequireArgument(buffer, "buffer");
    RequireArgument(length, "length");
    size_t index = FieldIndex(c, field);
    if (!IsBlobType(c.desc.fields[index].shape.type))
      throw EngineError(NDS_E_INVALID_FIELD,
                        "Field " + c.desc.fields[index].name + " is not a memo or blob.");
    std::string part = c.writer.BlobPart(index, offset, *length);
    std::memcpy(buffer, part.data(), part.size());
    *length = static_cast<uint32_t>(part.size());
    return NDS_SUCCESS;
  });
}

}  // extern "C"
