// Engine functions that describe an open cursor: its fields, record layout,
// table type and size, and closing it.
#include "engine/api/api_cursor_support.h"
#include "engine/api/api_support.h"
#include "engine/base/sql_text.h"
#include "engine/dictionary/dictionary_rights.h"
#include "engine/index/index_cursor.h"

using namespace nce;

namespace {

template <class Action>
NDSRESULT OnCursor(const char* function, NDSHANDLE handle, Action action) {
  return Guarded(function, [&] {
    auto cursor = RequireCursor(handle);
    RecursiveLockGuard lock(cursor->connection().mutex());
    return action(*cursor);
  });
}

const FieldDesc& FindField(const Cursor& cursor, NDSFIELD field) {
  return cursor.desc.fields[FieldIndex(cursor, field)];
}

template <class T>
T* Out(T* place, const char* what) {
  RequireArgument(place, what);
  return place;
}

}  // namespace

extern "C" {

NDSRESULT NdsCloseTable(NDSHANDLE handle) {
  return OnCursor("NdsCloseTable", handle, [&](Cursor& cursor) {
    // Unwritten edits are written first; the cursor closes either way, and
    // a failed write is reported (and its edits cancelled).
    NDSRESULT result = NDS_SUCCESS;
    try {
      if (cursor.writer.editing()) cursor.writer.Write();
    } catch (const EngineError& error) {
      result = Fail(error.number(), error.text());
      try {
        cursor.writer.Cancel();
      } catch (const EngineError&) {
      }
    }
    cursor.writer.ReleaseLocks();
    cursor.Release();
    cursor.connection().mutex().AssertHeld();  // taken by OnCursor
    cursor.connection().RemoveChild(handle);
    HandleTable::Instance().Remove(handle);
    return result;
  });
}

NDSRESULT NdsGetTableType(NDSHANDLE handle, uint16_t* tableType) {
  return OnCursor("NdsGetTableType", handle, [&](Cursor& cursor) {
    *Out(tableType, "table type") = cursor.desc.table_type;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetTableCharType(NDSHANDLE handle, uint16_t* charType) {
  return OnCursor("NdsGetTableCharType", handle, [&](Cursor& cursor) {
    *Out(charType, "character type") = cursor.desc.char_type;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetTableOpenOptions(NDSHANDLE handle, uint32_t* options) {
  return OnCursor("NdsGetTableOpenOptions", handle, [&](Cursor& cursor) {
    *Out(options, "open options") = cursor.open_options;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetRecordLength(NDSHANDLE handle, uint32_t* length) {
  return OnCursor("NdsGetRecordLength", handle, [&](Cursor& cursor) {
    *Out(length, "record length") = cursor.desc.record_length;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetNumFields(NDSHANDLE handle, uint16_t* count) {
  return OnCursor("NdsGetNumFields", handle, [&](Cursor& cursor) {
    *Out(count, "field count") = static_cast<uint16_t>(cursor.desc.fields.size());
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetFieldName(NDSHANDLE handle, uint16_t fieldNumber, char* name, uint16_t* length) {
  return OnCursor("NdsGetFieldName", handle, [&](Cursor& cursor) {
    return CopyOut(FindField(cursor, NDS_FIELD_ORDINAL(fieldNumber)).name, name, length);
  });
}

NDSRESULT NdsGetFieldType(NDSHANDLE handle, NDSFIELD field, uint16_t* fieldType) {
  return OnCursor("NdsGetFieldType", handle, [&](Cursor& cursor) {
    *Out(fieldType, "field type") = FindField(cursor, field).shape.type;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetFieldLength(NDSHANDLE handle, NDSFIELD field, uint32_t* length) {
  return OnCursor("NdsGetFieldLength", handle, [&](Cursor& cursor) {
    *Out(length, "field length") = FindField(cursor, field).shape.length;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetFieldDecimals(NDSHANDLE handle, NDSFIELD field, uint16_t* decimals) {
  return OnCursor("NdsGetFieldDecimals", handle, [&](Cursor& cursor) {
    *Out(decimals, "decimals") = FindField(cursor, field).shape.decimals;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetFieldOffset(NDSHANDLE handle, NDSFIELD field, uint32_t* offset) {
  return OnCursor("NdsGetFieldOffset", handle, [&](Cursor& cursor) {
    *Out(offset, "field offset") = FindField(cursor, field).offset;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetColumnPermissions(NDSHANDLE handle, NDSFIELD field, uint8_t* permissions) {
  return OnCursor("NdsGetColumnPermissions", handle, [&](Cursor& cursor) {
    const FieldDesc& desc = FindField(cursor, field);
    uint8_t bits = NDS_COLUMN_READ;
    if (cursor.open_options & NDS_OPEN_UPDATE_RIGHT) bits |= NDS_COLUMN_UPDATE;
    if (cursor.open_options & NDS_OPEN_INSERT_RIGHT) bits |= NDS_COLUMN_INSERT;
    // A dictionary may grant less on a column than on its table.
    if (cursor.live) bits &= ColumnRightsOf(cursor.connection(), cursor.source_table, desc.name);
    *Out(permissions, "permissions") = bits;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetRecordCount(NDSHANDLE handle, uint16_t filterOption, uint32_t* count) {
  return Guarded("NdsGetRecordCount", [&] {
    RequireArgument(count, "record count");
    std::shared_ptr<Object> object = HandleTable::Instance().Find(handle);
    if (object && object->kind() == ObjectKind::kStatement) {
      auto statement = std::static_pointer_cast<Statement>(object);
      RecursiveLockGuard lock(statement->connection().mutex());
      if (!statement->rows_affected())
        throw EngineError(NDS_E_NO_COUNT,
                          "The statement's last execution changed no rows it could count.");
      *count = static_cast<uint32_t>(*statement->rows_affected());
      return NDS_SUCCESS;
    }
    // An order's handle counts in that order, with its scopes.
    auto cursor = NavigationCursor(handle);
    RecursiveLockGuard lock(cursor->connection().mutex());
    cursor->connection().RequireOpen();
    std::shared_ptr<IndexOrder> order;
    if (object && object->kind() == ObjectKind::kIndexOrder)
      order = std::static_pointer_cast<IndexOrder>(object);
    UseOrder(*cursor, order);
    *count = static_cast<uint32_t>(cursor->walk.Count(filterOption));
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetLastAutoinc(NDSHANDLE handle, uint32_t* value) {
  return Guarded("NdsGetLastAutoinc", [&] {
    RequireArgument(value, "value");
    std::shared_ptr<Object> object = HandleTable::Instance().Find(handle);
    if (object && (object->kind() == ObjectKind::kCursor || object->kind() == ObjectKind::kTable)) {
      auto cursor = RequireCursor(handle);
      RecursiveLockGuard lock(cursor->connection().mutex());
      *value = cursor->writer.last_autoinc();
      return NDS_SUCCESS;
    }
    auto statement = RequireStatement(handle);
    RecursiveLockGuard lock(statement->connection().mutex());
    *value = statement->last_autoinc();
    return NDS_SUCCESS;
  });
}

}  // extern "C"
